// pelmar: the desktop program. `pelmar [ftp://address]` connects at start-up as the
// Connect-to-URL command would with that address (ftpes:// and ftps:// for FTP over TLS,
// sftp:// for SFTP).

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "engine/CertificateTrust.h"
#include "engine/WorkerRegistry.h"
#include "mainwindow/MainWindow.h"
#include "platform/qt/QtEventTarget.h"
#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "settings/qt/OptionsDialog.h"
#include "text/PrivateFolder.h"
#include "text/UrlText.h"
#include "ui/CertificateDialog.h"
#include "ui/DesktopSound.h"
#include "ui/DialogTitles.h"
#include "ui/PassphraseQuestion.h"
#include "ui/ToolTipSwitch.h"

int main(int argc, char** argv) {
  // Answered before any display is needed (scripts, package checks).
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("pelmar %s\n", PELMAR_VERSION);
    return 0;
  }
  // A file past the size limit fails its write (and that transfer) instead of ending Pelmar.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication app(argc, argv);
  // File-type icons come from the desktop's theme; a session that names none (a bare X
  // server, some window managers) would show one generic icon for every file.
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QStringLiteral("hicolor")) {
    for (const QString& theme : {QStringLiteral("Adwaita"), QStringLiteral("breeze")}) {
      if (QFileInfo::exists(QStringLiteral("/usr/share/icons/") + theme +
                            QStringLiteral("/index.theme"))) {
        QIcon::setThemeName(theme);
        break;
      }
    }
  }
  QIcon ownIcon;
  for (const int size : {32, 64, 256}) {
    ownIcon.addFile(QString(QStringLiteral(":/pelmar/icons/%1/pelmar.png")).arg(size),
                    QSize(size, size));
  }
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pelmar"), ownIcon));
  // Matches the desktop entry, so the desktop groups the window with its launcher.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pelmar.Pelmar"));
  QApplication::setApplicationName(QStringLiteral("Tessaro FTP"));
  QApplication::setApplicationDisplayName(QStringLiteral("Pelmar"));
  auto target = std::make_shared<pelmar::TQtEventTarget>();
  pelmar::SetSoundPlayer(pelmar::MakeDesktopSoundPlayer());
  // "Show Tool Tips" applies at once, whenever the preferences reach the engine.
  auto* toolTips = new pelmar::TToolTipSwitch(&app);
  new pelmar::TDialogTitles(&app);
  pelmar::SetToolTipsHook([toolTips](bool on) { toolTips->SetEnabled(on); });
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
    pelmar::InstallPassphraseQuestion(&window);
    const QStringList arguments = QApplication::arguments();
    // The process list shows the arguments for as long as the program runs: a password in an
    // address goes from there once it was read (as pelmar-cli does).
    for (int i = 1; i < argc; ++i) pelmar::HidePasswordInArgument(argv[i]);
    if (arguments.size() > 1) {
      // An address to connect to: the site manager does not open by itself then.
      pelmar::Preferences().ShowManager = false;
    }
    window.KeepQueueIn(pelmar::DataFolder() + pelmar::kQueueFileName);
    window.show();
    if (arguments.size() > 1) window.ConnectToUrl(arguments.at(1));
    status = QApplication::exec();
  }
  // Every connection is told to quit; a worker stuck on a silent server is not waited for
  // long.
  pelmar::ShutdownEngine(std::chrono::milliseconds(2000));
  pelmar::SetToolTipsHook({});
  pelmar::RemovePrivateFolder();
  return status;
}
