#pragma once
// A main window on its own settings file and data folder, for the main window's tests.

#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include "mainwindow/MainWindow.h"
#include "settings/Preferences.h"
#include "views/qt/PaneFixture.h"

namespace pelmar::test {

class MainWindowTest : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    ASSERT_TRUE(Dir.isValid());
    Settings = std::make_unique<QSettings>(Dir.filePath("registry.ini"), QSettings::IniFormat);
    Preferences() = TPreferences();
    Preferences().ShowManager = false;
    ::setenv("PELMAR_HOME", Dir.path().toLocal8Bit().constData(), 1);
  }
  void TearDown() override {
    Window.reset();
    PaneTest::TearDown();
  }
  TfrmMain& Open() {
    Window = std::make_unique<TfrmMain>(Target, Settings.get());
    return *Window;
  }
  QTemporaryDir Dir;
  std::unique_ptr<QSettings> Settings;
  std::unique_ptr<TfrmMain> Window;
};

}  // namespace pelmar::test
