#include "ui/HelpWindow.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <map>

namespace pelmar {
namespace {

constexpr const char* kHelpRoot = ":/pelmar/help/";

const std::map<int, const char*>& TopicPages() {
  static const std::map<int, const char*> pages = {
      {kHelpContents, "index.html"}, {8, "connect-to-url.html"},   {76, "preferences.html"},
      {77, "site-manager.html"},     {79, "compare-folders.html"},
  };
  return pages;
}

}  // namespace

QString HelpPageFor(int topic) {
  const auto page = TopicPages().find(topic);
  const char* name = page == TopicPages().end() ? "index.html" : page->second;
  return QString(QStringLiteral("qrc")) + QLatin1String(kHelpRoot) + QLatin1String(name);
}

QString WhatsThisText(int topic) {
  static const std::map<int, const char*> texts = {
      {1, "Connect: opens the Site Manager, where you choose the server to connect to."},
      {2, "Connect to URL: connects to an address you type, such as ftp://host/folder/."},
      {3, "Stop: interrupts what the current server tab is doing."},
      {4, "Disconnect: closes the connection of the current server tab."},
      {6,
       "Show Transfer Manager: lists every queued transfer; cancel, re-submit or reorder "
       "them there."},
      {7,
       "Maximize Host View: lets the server pane fill the window, or shows both panes "
       "again."},
      {8, "Show Log: shows or hides the message log with the dialogue with the server."},
      {9, "Show Viewer: shows pages and pictures of either pane in place of the message log."},
      {10, "The folder shown in this pane; choose another one from the list."},
      {11, "Up One Level: shows the folder that holds this one."},
      {12, "Change Folder: shows a folder you choose or type."},
      {13, "Change Views: switches to the next view style of the list."},
      {14, "Type of Views: large icons, small icons, list or details."},
      {15, "New View: opens another tab on this side."},
      {16, "Close View: closes this tab; the last one stays."},
      {17, "Edit with...: opens the selected files in the text viewer or the HTML editor."},
      {18, "Refresh: reads the folder again."},
      {19, "New Folder: makes a folder here."},
      {20, "Delete: deletes the selected files and folders (with Shift: without asking)."},
      {21, "File Mask: shows only the names that match a mask such as *.txt."},
      {22, "Upload: sends the local selection to the server's folder."},
      {23, "Download: fetches the server selection into the local folder."},
      {105, "Rename: gives the focused file or folder a new name."},
  };
  const auto text = texts.find(topic);
  return text == texts.end() ? QString() : QString::fromUtf8(text->second);
}

bool WriteHelpPages(const QString& folder) {
  if (!QDir().mkpath(folder)) return false;
  const QStringList names = QDir(QLatin1String(kHelpRoot)).entryList(QDir::Files);
  for (const QString& name : names) {
    const QString target = QDir(folder).filePath(name);
    QFile::remove(target);  // an older copy of the page
    if (!QFile::copy(QString::fromLatin1(kHelpRoot) + name, target)) return false;
    QFile::setPermissions(
        target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  }
  return !names.isEmpty();
}

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("HelpWindow");
  setWindowTitle(QStringLiteral("Pelmar Help"));
  resize(560, 480);
  auto* layout = new QVBoxLayout(this);
  Pages = new QTextBrowser(this);
  Pages->setObjectName("HelpPages");
  layout->addWidget(Pages);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  layout->addWidget(close, 0, Qt::AlignRight);
}

void THelpWindow::ShowTopic(int topic) {
  Pages->setSource(QUrl(HelpPageFor(topic)));
  show();
  raise();
  activateWindow();
}

QString THelpWindow::CurrentPage() const {
  return Pages->source().toString();
}

}  // namespace pelmar
