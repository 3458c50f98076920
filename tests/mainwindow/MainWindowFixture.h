#pragma once
// A main window on its own settings file and data folder, for the main window's tests, and
// sites of a real server.

#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include "mainwindow/MainWindow.h"
#include "settings/Preferences.h"
#include "settings/SiteFile.h"
#include "support/RealFtpServer.h"
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
  // Until the window's queue has nothing pending or running (whole folders can take a while).
  bool QueueIdle() {
    TTransferItems& queue = Window->Queue();
    return RunUntil(
        [&] { return queue.CountInState(tsPending) == 0 && queue.CountInState(tsActive) == 0; },
        60000);
  }
  // The named account of `server` as a site.
  static TSite SiteFor(const TRealFtpServer& server, const std::string& name) {
    TSite site;
    site.Name = name;
    site.Host = "127.0.0.1";
    site.Port = std::to_string(server.Port());
    site.User = TRealFtpServer::kUser;
    site.Password = TRealFtpServer::kPassword;
    return site;
  }
  // Connect picks `site` from now on, as the person would in the site manager.
  static void Choose(TfrmMain& window, const TSite& site) {
    window.ChooseSite = [&site](TSite& chosen) {
      chosen = site;
      return true;
    };
  }

  QTemporaryDir Dir;
  std::unique_ptr<QSettings> Settings;
  std::unique_ptr<TfrmMain> Window;
};

}  // namespace pelmar::test
