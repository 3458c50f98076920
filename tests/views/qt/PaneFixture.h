#pragma once
// Panes in tests: a parent widget shown offscreen for each pane, the application's event
// target, waiting for a condition while Qt runs its events, and choosing entries.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "engine/EngineSettings.h"
#include "engine/WorkerRegistry.h"
#include "platform/qt/QtEventTarget.h"
#include "views/qt/CustomView.h"

namespace pelmar::test {

class PaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Target = std::make_shared<TQtEventTarget>();
    EngineSettings().FTPTimeout = 5000;
    EngineSettings().FTPRetries = 1;
    // Wakes the event loop now and then, so a wait notices its deadline.
    Tick.start(20);
  }
  void TearDown() override {
    EXPECT_TRUE(ShutdownEngine(std::chrono::milliseconds(10000)));
    EngineSettings().FTPTimeout = TEngineSettings().FTPTimeout.load();
    EngineSettings().FTPRetries = TEngineSettings().FTPRetries.load();
  }
  // A shown parent for one pane.
  QWidget* Page() {
    Pages.push_back(std::make_unique<QWidget>());
    Pages.back()->resize(600, 400);
    Pages.back()->show();
    return Pages.back().get();
  }
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
      if (clock.elapsed() > timeoutMs) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
  }

  // Selects the entries of `view` with these names, as clicks would.
  static void Select(TCustomView& view, const QStringList& names) {
    view.ListView()->ClearSelection();
    for (int row = 0; row < view.ListView()->RowCount(); ++row) {
      const QModelIndex item = view.ListView()->Row(row);
      if (names.contains(view.GetItemName(item))) view.ListView()->Select(item, true);
    }
    view.RefreshStatus();
  }

  std::shared_ptr<TQtEventTarget> Target;
  std::vector<std::unique_ptr<QWidget>> Pages;
  QTimer Tick;
};

}  // namespace pelmar::test
