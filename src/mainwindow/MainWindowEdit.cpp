// Server files edited in place: a file fetched for the editor is watched, and each time it is
// saved the person is asked whether it goes back to the server, through the queue.

#include <sys/stat.h>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QPushButton>

#include "mainwindow/MainWindow.h"
#include "transfers/TransferQueue.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "views/qt/HostView.h"

namespace pelmar {
namespace {

// A file's size and modification time, to tell a save from a touch of the watch.
std::pair<int64_t, int64_t> Stamp(const QString& path) {
  struct stat info {};
  if (::stat(path.toLocal8Bit().constData(), &info) != 0) return {-1, -1};
  return {static_cast<int64_t>(info.st_size),
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

}  // namespace

void TfrmMain::WatchEditedFiles(THostView& host, const QStringList& files) {
  if (!EditWatch) {
    EditWatch = new QFileSystemWatcher(this);
    connect(EditWatch, &QFileSystemWatcher::fileChanged, this,
            [this](const QString& path) { EditedFileChanged(path); });
  }
  for (const QString& file : files) {
    const std::string remote = host.RemotePathOf(file);
    if (remote.empty()) continue;
    TEditedFile& edited = EditedFiles[file];
    edited.Host = &host;
    edited.Server = host.Engine().Server();
    edited.Remote = remote;
    edited.Stamp = Stamp(file);
    edited.Changed = false;
    EditWatch->addPath(file);
  }
}

void TfrmMain::EditedFileChanged(const QString& path) {
  const auto found = EditedFiles.find(path);
  if (found == EditedFiles.end()) return;
  // Editors that save by writing a new file and renaming it end the watch: it starts again.
  if (!EditWatch->files().contains(path) && QFileInfo::exists(path)) EditWatch->addPath(path);
  TEditedFile& edited = found->second;
  const auto stamp = Stamp(path);
  if (stamp.first < 0 || stamp == edited.Stamp) return;
  edited.Stamp = stamp;
  edited.Changed = true;
  // A save while the question is up is answered by that question.
  if (AskingAboutEdit) return;
  AskingAboutEdit = true;
  const QString target = Q(edited.Server.Host + edited.Remote);
  const QString question = QStringLiteral("Upload the changed file to %1?").arg(target);
  bool always = edited.Always;
  bool upload = always;
  if (!always) {
    upload = Prompter().ConfirmWith(this, QStringLiteral("Pelmar"), question, [&] {
      QMessageBox box(QMessageBox::Question, QStringLiteral("Pelmar"), question,
                      QMessageBox::Yes | QMessageBox::No, this);
      QPushButton* every =
          box.addButton(QStringLiteral("&Always for this file"), QMessageBox::YesRole);
      box.exec();
      always = box.clickedButton() == every;
      return always || box.clickedButton() == box.button(QMessageBox::Yes);
    });
  }
  AskingAboutEdit = false;
  // The file may have gone from the list while the question was up.
  const auto still = EditedFiles.find(path);
  if (still == EditedFiles.end()) return;
  still->second.Always = always;
  if (!upload) return;
  const QFileInfo local(path);
  const std::string remote = still->second.Remote;
  const size_t slash = remote.find_last_of('/');
  auto item = std::make_unique<TTransferItem>();
  item->Server = std::make_shared<const TServer>(still->second.Server);
  item->Upload = 1;
  item->SourceFolder = S(local.absolutePath()) + "/";
  item->FileName = S(local.fileName());
  item->DestFolder = slash == std::string::npos ? std::string() : remote.substr(0, slash + 1);
  item->Size = static_cast<int64_t>(local.size());
  if (still->second.Host) item->DestView = still->second.Host.data();
  still->second.Changed = false;
  if (Transfers->Add(item) >= 0) Transfers->StartNext();
}

int TfrmMain::EditedFilesNotUploaded() const {
  int count = 0;
  for (const auto& [path, edited] : EditedFiles) count += edited.Changed ? 1 : 0;
  return count;
}

}  // namespace pelmar
