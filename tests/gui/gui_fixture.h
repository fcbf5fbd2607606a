// The fixture of the widget tests: an Instance on the fakes, started with
// the English texts, and a way to work on a modal dialog while it runs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <QTimer>
#include <functional>

#include "app/fake_platform.h"
#include "app/startup.h"

namespace kivo::testing {

class GuiTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
  }
  QString T(int n) const { return QString::fromStdString(instance.texts.Text(n)); }

  // Runs `work` on the modal dialog as soon as its event loop runs.
  template <typename Dialog>
  static void WhenModal(std::function<void(Dialog&)> work) {
    QTimer::singleShot(0, [work] {
      auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      work(*dialog);
    });
  }
};

}  // namespace kivo::testing
