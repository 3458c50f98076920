// The message log (its popup, saving, showing and hiding) and the event sounds.

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextBlock>
#include <QToolBar>
#include <utility>

#include "mainwindow/MainWindow.h"
#include "platform/SoundPlayer.h"
#include "settings/Preferences.h"
#include "ui/FileChooser.h"
#include "ui/Prompter.h"
#include "views/qt/HostView.h"

namespace pelmar {

void TfrmMain::WireLog() {
  popLog = new QMenu(memoLog);
  popLog->setObjectName("popLog");
  auto add = [this](const char* name, const QString& caption, void (TfrmMain::*handler)()) {
    QAction* action = popLog->addAction(caption);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, handler);
  };
  add("popSaveLog", QStringLiteral("&Save"), &TfrmMain::popSaveLogClick);
  add("popSaveLogAs", QStringLiteral("Save &as..."), &TfrmMain::popSaveLogAsClick);
  popLog->addSeparator();
  add("popClearLog", QStringLiteral("&Clear content"), &TfrmMain::popClearLogClick);
  memoLog->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(memoLog, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { popLog->popup(memoLog->viewport()->mapToGlobal(at)); });
  connect(popLog, &QMenu::aboutToShow, this, &TfrmMain::popLogPopup);

  // The log panel shrinks to the toolbar when the log is hidden; dragging the splitter up to
  // that point hides it too, and dragging it down shows it.
  connect(Commands.ShowLog, &QAction::toggled, this, [this](bool shown) {
    if (!SyncingLog) ShowLog(shown);
  });
  connect(barMilieu, &QSplitter::splitterMoved, this, [this](int position, int) {
    if (!FittingLog) ChosenLogHeight = position;
    const bool shown = position > TopMinimum();
    LogStack->setVisible(shown);
    SyncingLog = true;
    Commands.ShowLog->setChecked(shown);
    SyncingLog = false;
  });
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  // After the splitter has shared out its new height (it does so after its filters).
  if (watched == barMilieu && event->type() == QEvent::Resize) {
    QMetaObject::invokeMethod(this, &TfrmMain::FitLogToHeight, Qt::QueuedConnection);
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::FitLogToHeight() {
  // Room for the pane tabs, tools and status and about eight rows of a list.
  constexpr int kUsefulLists = 300;
  if (!LogStack->isVisible() || LogHeightBeforeViewer > 0 || ChosenLogHeight <= 0) return;
  const QList<int> sizes = barMilieu->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  if (total <= 0) return;
  // The log keeps two lines at least, so that it is seen to be there.
  const int leastLog = TopMinimum() + 2 * memoLog->fontMetrics().lineSpacing() + 8;
  const int log = std::max(std::min(ChosenLogHeight, total - kUsefulLists),
                           std::min(leastLog, ChosenLogHeight));
  if (log == sizes.value(0)) return;
  FittingLog = true;
  barMilieu->setSizes({log, std::max(total - log, 0)});
  FittingLog = false;
}

int TfrmMain::TopMinimum() const {
  return tbMain->height() + BarMoveTool->height() + 4;
}

void TfrmMain::ShowLog(bool shown) {
  QList<int> sizes = barMilieu->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  if (!shown) {
    SavedLogHeight = std::max(LogStack->height(), 12);
    LogStack->hide();
    sizes = {TopMinimum(), total - TopMinimum()};
  } else {
    LogStack->show();
    const int top = std::min(TopMinimum() + SavedLogHeight, std::max(total - 100, TopMinimum()));
    sizes = {top, total - top};
    ChosenLogHeight = top;
  }
  barMilieu->setSizes(sizes);
}

void TfrmMain::AppendLogLine(const QString& line) {
  memoLog->appendPlainText(line);
  // The newest line is the highlighted one, and in view.
  QTextCursor cursor(memoLog->document()->lastBlock());
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  memoLog->setTextCursor(cursor);
  memoLog->ensureCursorVisible();
}

void TfrmMain::popLogPopup() {
  const bool lines = !memoLog->document()->isEmpty();
  for (const char* name : {"popSaveLog", "popSaveLogAs", "popClearLog"}) {
    popLog->findChild<QAction*>(QLatin1String(name))->setEnabled(lines);
  }
}

bool TfrmMain::SaveLog(const QString& path) {
  // Replaced, not extended: the file holds what the log shows now.
  QFile file(path);
  // A new log is for its owner only: it names servers, users and folders.
  if (path.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate,
                                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
    Prompter().Error(this, QStringLiteral("Pelmar"),
                     QString(QStringLiteral("Cannot create file %1")).arg(path));
    return false;
  }
  QByteArray text = memoLog->toPlainText().toUtf8();
  if (!text.isEmpty()) text += '\n';
  if (file.write(text) != text.size() || !file.flush()) {
    Prompter().Error(this, QStringLiteral("Pelmar"),
                     QString(QStringLiteral("Cannot write file %1")).arg(path));
    return false;
  }
  return true;
}

void TfrmMain::popSaveLogClick() {
  if (SaveLog(QString::fromStdString(Preferences().LogFile))) memoLog->clear();
}

void TfrmMain::popSaveLogAsClick() {
  const QString chosen = FileChooser().SaveFile(
      this, QStringLiteral("Select Log File"), QStringLiteral("Log Files (*.log);;All Files (*)"),
      QStringLiteral("log"), QString::fromStdString(Preferences().LogFile));
  if (!chosen.isEmpty() && SaveLog(chosen)) memoLog->clear();
}

void TfrmMain::popClearLogClick() {
  memoLog->clear();
}

void TfrmMain::PlaySoundIfEnabled(const std::string& file) {
  if (Preferences().SoundsEnabled) PlaySound(file);
}

void TfrmMain::PlayStateSound(int code) {
  // Which preference's file each state code plays, whichever view sends it.
  static constexpr std::pair<int, std::string TPreferences::*> kSounds[] = {
      {usConnected, &TPreferences::ConnectSuccessSound},
      {usConnectFailed, &TPreferences::ConnectFailureSound},
      {usDisconnected, &TPreferences::DisconnectSound},
      {usFileDone, &TPreferences::EndOfFileSound},
      {usAllDone, &TPreferences::EndOfTotalSound},
      {usError, &TPreferences::ErrorSound},
      {usTransferError, &TPreferences::ErrorSound},
  };
  for (const auto& [sent, file] : kSounds) {
    if (sent == code) PlaySoundIfEnabled(Preferences().*file);
  }
}

}  // namespace pelmar
