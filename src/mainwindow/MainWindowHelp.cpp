// Help: the contents (F1), "What's This?" on the buttons, the pages a browser shows, and the
// about box.

#include <QAction>
#include <QMessageBox>
#include <QToolButton>
#include <QWhatsThis>

#include "mainwindow/MainWindow.h"
#include "settings/DataFolder.h"
#include "ui/ActivityAnimation.h"
#include "ui/HelpService.h"
#include "ui/HelpWindow.h"

namespace pelmar {

void TfrmMain::WireHelp() {
  Help = new THelpWindow(this);
  SetHelpHandler([this](int topic) { Help->ShowTopic(topic); });
  auto on = [this](const char* name, auto handler) {
    QAction* action = Action(name);
    action->setEnabled(true);
    connect(action, &QAction::triggered, this, handler);
  };
  on("mnuHelpContents", [this] { Help->ShowTopic(kHelpContents); });
  on("MnuHelpPointer", [] { QWhatsThis::enterWhatsThisMode(); });
  for (const auto& [item, page] :
       {std::pair{"mnuNews", "release-notes.html"}, std::pair{"mnuFAQ", "faq.html"},
        std::pair{"mnuFeedBack", "report-problem.html"},
        std::pair{"mnuVorlenzMedia", "about.html"}}) {
    on(item, [this, name = page] { OpenHelpPageInBrowser(QLatin1String(name)); });
  }
  // The product page, as the web menu's item opens it.
  connect(aviActivity, &TActivityAnimation::DoubleClicked, this,
          [this] { OpenHelpPageInBrowser(QStringLiteral("about.html")); });
  on("mnuAbout", [this] {
    QMessageBox::about(
        this, QStringLiteral("About Pelmar"),
        QStringLiteral("<p><b>Pelmar</b> %1</p><p>A two-pane FTP client for Linux.</p>"
                       "<p>Copyright the Pelmar developers. Free software under "
                       "the MIT License; it comes with no warranty.</p>")
            .arg(QString::fromLatin1(PELMAR_VERSION)));
  });

  // The topics "What's This?" shows for the buttons, the folder boxes and the arrows.
  const std::pair<const char*, int> topics[] = {
      {"btnConnect", 1},        {"btnConnectURL", 2},     {"btnStop", 3},
      {"btnDisconnect", 4},     {"btnTransferMng", 6},    {"BtnMaximizeHost", 7},
      {"btnShowLog", 8},        {"btnExplorer", 9},       {"cmboLocalTree", 10},
      {"cmboHostTree", 10},     {"btnLocalUp", 11},       {"btnHostUp", 11},
      {"btnLocalChDir", 12},    {"btnHostChDir", 12},     {"btnLocalView", 13},
      {"btnHostView", 13},      {"btnLocalViewMenu", 14}, {"btnHostViewMenu", 14},
      {"btnLocalNew", 15},      {"btnHostNew", 15},       {"btnLocalClose", 16},
      {"btnHostClose", 16},     {"btnLocalEdit", 17},     {"btnHostEdit", 17},
      {"btnLocalRefresh", 18},  {"btnHostRefresh", 18},   {"btnLocalNewFolder", 19},
      {"btnHostNewFolder", 19}, {"btnLocalDelete", 20},   {"btnHostDelete", 20},
      {"btnLocalMask", 21},     {"btnHostMask", 21},      {"btnLocalRename", 105},
      {"btnHostRename", 105},   {"btnUpload", 22},        {"btnDownload", 23},
  };
  for (const auto& [name, topic] : topics) {
    QWidget* control = findChild<QWidget*>(QLatin1String(name));
    if (!control) continue;
    control->setWhatsThis(WhatsThisText(topic));
    // A button copies its command's text again whenever the command changes (enabled,
    // checked): the command must carry it too.
    auto* button = qobject_cast<QToolButton*>(control);
    if (button && button->defaultAction())
      button->defaultAction()->setWhatsThis(WhatsThisText(topic));
  }
}

void TfrmMain::OpenHelpPageInBrowser(const QString& page) {
  const QString folder = QString::fromStdString(DataFolder()) + QStringLiteral("help");
  const QString path = folder + QStringLiteral("/") + page;
  if (!WriteHelpPages(folder) || !OpenDocument(path)) ReportOpenFailure(path);
}

}  // namespace pelmar
