// pelmar-dialog-shots FOLDER: renders every dialog (each preferences page on its own) to PNG
// files in FOLDER, at the size each opens with, so that layouts can be looked at after a
// change (QT_SCALE_FACTOR=2 for high-density screens). Used by scripts/dialog-shots.sh.

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <cstdio>
#include <functional>

#include "settings/Preferences.h"
#include "settings/qt/ManagerDialog.h"
#include "settings/qt/OptionsDialog.h"
#include "settings/qt/UrlDialog.h"
#include "ui/CertificateDialog.h"

namespace {

bool Save(QWidget& window, const QString& folder, const QString& name,
          const std::function<void()>& afterShow = nullptr) {
  window.show();
  if (afterShow) afterShow();  // showing may set a dialog back to its first page
  QApplication::processEvents();
  const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
  const bool saved = window.grab().save(path);
  std::printf("%s %dx%d\n", qPrintable(path), window.width(), window.height());
  window.hide();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: pelmar-dialog-shots FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  pelmar::Preferences() = pelmar::TPreferences();
  bool ok = true;
  {
    pelmar::TfrmOptions options;
    auto* pages = options.findChild<QTabWidget*>(QStringLiteral("pgctrlOptions"));
    for (int page = 0; page < pages->count(); ++page) {
      const QString name =
          QStringLiteral("preferences-") + pages->tabText(page).toLower().replace(u' ', u'-');
      ok = Save(options, folder, name, [pages, page] { pages->setCurrentIndex(page); }) && ok;
    }
  }
  {
    pelmar::TfrmManager manager(nullptr,
                                QDir(folder).filePath(QStringLiteral("Sites.ini")).toStdString());
    ok = Save(manager, folder, QStringLiteral("site-manager")) && ok;
  }
  {
    pelmar::TfrmURL url;
    url.SetAddress(QStringLiteral("ftpes://user@ftp.example.com/pub/file.zip"));
    ok = Save(url, folder, QStringLiteral("connect-to-url")) && ok;
  }
  {
    pelmar::TCertificateEventData question;
    question.Host = "ftp.example.com";
    question.Port = 21;
    question.Changed = true;
    question.Certificate = {"CN = ftp.example.com",
                            "CN = ftp.example.com",
                            "Dec  1 00:00:00 2026 GMT",
                            "Dec  1 00:00:00 2027 GMT",
                            "AF:14:83:F7:85:7E:07:8D:99:A7:12:07:E0:5D:A9:91:F5:B8:1E:7C:18:00:59:"
                            "91:38:09:41:AA:C3:1A:3C:16",
                            "self-signed certificate"};
    pelmar::TdlgCertificate certificate(nullptr, question, [](pelmar::TTrustDecision) {});
    certificate.setAttribute(Qt::WA_DeleteOnClose, false);
    ok = Save(certificate, folder, QStringLiteral("certificate")) && ok;
  }
  return ok ? 0 : 1;
}
