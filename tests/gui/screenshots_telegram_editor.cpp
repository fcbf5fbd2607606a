// The send-telegram editor over the online scene: the example telegrams of
// types 1, 3, 4, 5 and 24 as they stand, and telegram 10 (type 20) changed to
// the free types 128 and 129, whose memo the editor presets with the octets
// the telegram produced before.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

#include "app/instance.h"
#include "gui/screenshots.h"
#include "log/log_store.h"
#include "record/type_catalogue.h"
#include "ui/editor_support.h"
#include "ui/main_window.h"
#include "ui/send_telegram_editor.h"

namespace kivo {

namespace {

// What an engineer does with the editor: telegram 10, the general command,
// gets DCO 1 and RII 77 and is sent from the editor; the frame goes out on
// the pseudo-terminal and the log view shows it with the device's answers.
int ShootTelegramSent(ShotScene& scene) {
  OpenSendTelegramEditor(&scene.window, scene.instance, 10);
  auto* editor = qobject_cast<TfmSeTe*>(OpenSendEditor(&scene.window));
  if (!editor) {
    std::printf("FAILED no telegram editor for telegram 10\n");
    return 1;
  }
  RunEvents(100);
  editor->findChild<QLineEdit*>("sfData")->setText("1");
  editor->findChild<QLineEdit*>("sfData2")->setText("77");
  scene.window.action("miLogN")->trigger();  // one line a telegram: more of them shown
  editor->findChild<QPushButton*>("btnSend")->click();
  bool seen = false;
  for (int wait = 0; wait < 60 && !seen; ++wait) {
    RunEvents(50);
    const OnlineQueue& queue = scene.instance.logStore.Queue();
    for (std::uint32_t k = 0; k + 1 < OnlineQueue::kSlots && !seen; ++k) {
      const auto frame = queue.Recent(k).Frame();
      // 68 L L 68 C A, then type 20, VSQ, cause, CA, FUN, INF, DCO, RII.
      seen = frame.size() > 13 && frame[0] == 0x68 && frame[6] == 20 && frame[12] == 1 &&
             frame[13] == 77;
    }
  }
  int failures = seen ? 0 : 1;
  if (!seen) std::printf("FAILED the command sent from the editor is not in the log\n");
  RunEvents(400);
  if (!scene.Save(scene.window, "main-command-sent")) ++failures;
  scene.window.action("miLog")->trigger();
  if (!scene.Save(*editor, "telegram-editor-type20")) ++failures;
  editor->findChild<QPushButton*>("btnOK")->click();
  RunEvents(20);
  return failures;
}

}  // namespace

int ShootTelegramEditor(ShotScene& scene) {
  int failures = 0;
  const struct {
    int telegram;
    int changeToType;  // 0: as it stands
    const char* name;
  } shots[] = {
      {1, 0, "telegram-editor-type1"},      {3, 0, "telegram-editor-type3"},
      {4, 0, "telegram-editor-type4"},      {5, 0, "telegram-editor-type5"},
      {6, 0, "telegram-editor-type6"},      {12, 0, "telegram-editor-type24"},
      {10, 128, "telegram-editor-type128"}, {10, 129, "telegram-editor-type129"},
  };
  for (const auto& shot : shots) {
    OpenSendTelegramEditor(&scene.window, scene.instance, shot.telegram);
    auto* editor = qobject_cast<TfmSeTe*>(OpenSendEditor(&scene.window));
    if (!editor) {
      std::printf("FAILED no telegram editor for %s\n", shot.name);
      ++failures;
      continue;
    }
    RunEvents(100);
    if (shot.telegram == 3) {
      // Measured values as an operator writes them: a value and its quality.
      const char* values[] = {"1200", "-35 1", "4095", "0 3"};
      for (int i = 0; i < 4; ++i) {
        editor->findChild<QLineEdit*>(QStringLiteral("sfMw%1").arg(i + 1))->setText(values[i]);
      }
    }
    if (shot.changeToType != 0) {
      // The operator chooses the type and moves on to the next field.
      auto* types = editor->findChild<QComboBox*>("cbTyp");
      types->setCurrentIndex(scene.instance.knownTypes.IndexOf(shot.changeToType) - 1);
      types->setFocus();
      editor->findChild<QLineEdit*>("sfBez")->setFocus();
    }
    RunEvents(150);
    if (!scene.Save(*editor, shot.name)) ++failures;
    editor->findChild<QPushButton*>("btnAbbr")->click();
    RunEvents(20);
  }
  return failures + ShootTelegramSent(scene);
}

}  // namespace kivo
