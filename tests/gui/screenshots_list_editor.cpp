#include <QPushButton>
#include <cstdio>

#include "app/instance.h"
#include "gui/screenshots.h"
#include "send/send_execution.h"
#include "send/send_list.h"
#include "ui/editor_support.h"
#include "ui/main_window.h"
#include "ui/send_list_editor.h"

namespace kivo {

// List 1 with rows of several types, as the editor shows it, and again while
// it runs between the two ports.
int ShootListEditor(ShotScene& scene) {
  Instance& instance = scene.instance;
  SendList& list = instance.send.List(1);
  const SendListRow rows[] = {
      {2, 0, 1, {}, 1, 1, 128, 16},    {1, 0, 1, {}, 1, 1, 128, 17},
      {4, 100, 1, {}, 3, 2, 128, 144}, {2, 5, 0, {}, 20, 20, 128, 16},
      {1, 7, 1, {}, 20, 20, 128, 19},  {1, 300, 1, {}, 24, 31, 128, 0},
      {9, 50, 1, {}, 9, 2, 128, 148},  {2, 0, 0, {}, 2, 1, 128, 64},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) list.rows[i] = rows[i];
  list.name.Set(instance.texts.Text(1187) + "1");
  // Names of the objects, as an information text file gives them.
  const struct {
    int typ, fun, inf;
    const char* name;
  } objects[] = {
      {1, 128, 16, "Auto-reclosure active"},
      {1, 128, 17, "Teleprotection active"},
      {3, 128, 144, "Measurand I L2"},
      {20, 128, 16, "Auto-reclosure on/off"},
      {20, 128, 19, "LED reset"},
      {9, 128, 148, "Measurands I, V, P, Q, f"},
      {2, 128, 64, "Start/pick-up L1"},
  };
  for (const auto& o : objects) {
    instance.infoTexts.Add(static_cast<std::uint32_t>(o.inf | o.typ << 8 | o.fun << 16), 0, o.name);
  }
  instance.infoTexts.Sort();
  list.rowsPerStart = 3;
  list.repeatCount = 0;
  list.pauseMs = 500;
  list.editorRow = 1;
  list.editorCol = 2;
  RecountRows(instance.sendContext, 1);

  // The main window hears of the passes; here the scene passes them on to
  // the editor and everything else to the window.
  struct PassEvents : AppEvents {
    AppEvents& inner;
    QWidget* window;
    PassEvents(AppEvents& e, QWidget* w) : inner(e), window(w) {}
    void OnlineStateApplied() override { inner.OnlineStateApplied(); }
    void RefreshLogView() override { inner.RefreshLogView(); }
    void ShowLogDisplay() override { inner.ShowLogDisplay(); }
    void ShowOnlineDisplay() override { inner.ShowOnlineDisplay(); }
    void MinutePassed(const LocalTime& now) override { inner.MinutePassed(now); }
    void PortStatusChanged(int portIndex) override { inner.PortStatusChanged(portIndex); }
    void SendCaptionChanged(int slot) override { inner.SendCaptionChanged(slot); }
    void ListPassEnded(int n) override {
      inner.ListPassEnded(n);
      NotifyListPassEnded(window, n);
    }
  } events(instance.Events(), &scene.window);
  AppEvents* const windowEvents = instance.events;
  instance.events = &events;

  int failures = 0;
  OpenSendListEditor(&scene.window, instance, 1);
  auto* editor = qobject_cast<TfmSeLi*>(OpenSendEditor(&scene.window));
  if (!editor) {
    std::printf("FAILED no list editor\n");
    return 1;
  }
  RunEvents(200);
  if (!scene.Save(*editor, "list-editor")) ++failures;
  // Send starts the list from the cursor row and keeps the window open.
  editor->findChild<QPushButton*>("btnSend")->click();
  RunEvents(1500);
  if (!scene.Save(*editor, "list-editor-running")) ++failures;
  editor->close();
  StopSending(instance.sendContext, 255);
  RunEvents(100);
  instance.events = windowEvents;
  return failures;
}

}  // namespace kivo
