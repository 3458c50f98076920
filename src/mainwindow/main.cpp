// pelmar: the desktop program. `pelmar [ftp://address]` connects at start-up as the
// Connect-to-URL command would with that address (ftpes:// and ftps:// for FTP over TLS).

#include <QApplication>
#include <cstdio>

#include "engine/CertificateTrust.h"
#include "engine/WorkerRegistry.h"
#include "mainwindow/MainWindow.h"
#include "platform/qt/QtEventTarget.h"
#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "settings/qt/OptionsDialog.h"
#include "ui/CertificateDialog.h"
#include "ui/DesktopSound.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tessaro FTP");
  QApplication::setApplicationDisplayName("Pelmar");
  auto target = std::make_shared<pelmar::TQtEventTarget>();
  pelmar::SetSoundPlayer(pelmar::MakeDesktopSoundPlayer());
  int status = 0;
  {
    pelmar::TfrmMain window(target);
    // The preferences dialog loads the preferences and pushes them into the engine.
    pelmar::TfrmOptions options(&window);
    const std::string error = pelmar::Preferences().Load(pelmar::PreferencesPath());
    if (!error.empty()) std::fprintf(stderr, "pelmar: %s\n", error.c_str());
    window.SetOptionsDialog(&options);
    pelmar::CertificateTrust().Load(pelmar::DataFolder() + pelmar::kTrustFileName);
    pelmar::TdlgCertificate::InstallAsCertificateHook(&window);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
      // An address to connect to: the site manager does not open by itself then.
      pelmar::Preferences().ShowManager = false;
    }
    window.show();
    if (arguments.size() > 1) window.ConnectToUrl(arguments.at(1));
    status = QApplication::exec();
  }
  pelmar::ShutdownEngine(std::chrono::milliseconds(2000));
  return status;
}
