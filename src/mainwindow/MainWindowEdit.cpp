// Server files edited in place: a file fetched for the editor is watched, and each time it is
// saved the person is asked whether it goes back to the server. The server's copy is looked at
// when the file arrives and again before each upload (size by listing, time by MDTM): when
// someone else changed it meanwhile, the person chooses between replacing it, keeping it and
// saving the edit under a new name, or not uploading.

#include <sys/stat.h>
#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "mainwindow/MainWindow.h"
#include "platform/qt/QtEventTarget.h"
#include "text/TextUtils.h"
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

std::string FolderPart(const std::string& remote) {
  const size_t slash = remote.find_last_of('/');
  return slash == std::string::npos ? std::string("/") : remote.substr(0, slash + 1);
}

std::string NamePart(const std::string& remote) {
  const size_t slash = remote.find_last_of('/');
  return slash == std::string::npos ? remote : remote.substr(slash + 1);
}

// "6 bytes, 2024-05-01 10:00:00" for the question about a changed copy.
QString Describe(const TServerCopy& copy, bool known) {
  if (!known) return QStringLiteral("not known");
  if (!copy.Exists) return QStringLiteral("not there");
  const QString time =
      copy.Time >= 0
          ? QDateTime::fromSecsSinceEpoch(copy.Time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
          : Q(FormatDateTimeMinutes(copy.Listed));
  return QStringLiteral("%1 bytes, %2").arg(Q(ThousandsText(std::to_string(copy.Size))), time);
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
    edited.Changed = edited.Sending = edited.UploadWanted = edited.CopyKnown = false;
    // What the server holds now is what the editor starts from.
    edited.Session = std::make_unique<TServerCopySession>(Target, edited.Server);
    edited.Session->Look(
        FolderPart(remote), NamePart(remote), [this, file](const TServerCopy& copy) {
          LaterForEditedFile(file, [this, file, copy] {
            TEditedFile& fetched = EditedFiles.at(file);
            fetched.CopyKnown = copy.Error.empty();
            if (fetched.CopyKnown) {
              fetched.Copy = copy;
            } else {
              AppendLogLine(QStringLiteral("The server's copy of %1 could not be looked at: %2")
                                .arg(Q(fetched.Remote), Q(copy.Error)));
            }
            if (fetched.UploadWanted) {
              fetched.UploadWanted = false;
              CheckServerCopy(file);
            }
          });
        });
    EditWatch->addPath(file);
  }
}

void TfrmMain::LaterForEditedFile(const QString& path, std::function<void()> step) {
  QTimer::singleShot(0, this, [this, path, step = std::move(step)] {
    if (EditedFiles.count(path) != 0) step();
  });
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
  // The file fetched again is no save: its new watch starts when it has arrived.
  if (edited.Host && edited.Host->TransferKind != TFetchKind::None &&
      edited.Host->FetchedFiles.contains(path)) {
    return;
  }
  edited.Changed = true;
  // A save while the question is up is answered by that question; one during an upload is
  // offered when the upload ends.
  if (AskingAboutEdit || edited.Sending) return;
  OfferEditedFile(path);
}

void TfrmMain::OfferEditedFile(const QString& path) {
  TEditedFile& edited = EditedFiles.at(path);
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
  if (upload) CheckServerCopy(path);
}

void TfrmMain::CheckServerCopy(const QString& path) {
  TEditedFile& edited = EditedFiles.at(path);
  edited.Sending = true;
  // The look at the fetched copy is still on its way: the check follows it.
  if (edited.Session->Busy()) {
    edited.UploadWanted = true;
    return;
  }
  edited.Session->Look(
      FolderPart(edited.Remote), NamePart(edited.Remote), [this, path](const TServerCopy& copy) {
        LaterForEditedFile(path, [this, path, copy] { ServerCopyChecked(path, copy); });
      });
}

void TfrmMain::ServerCopyChecked(const QString& path, const TServerCopy& copy) {
  TEditedFile& edited = EditedFiles.at(path);
  const std::string name = NamePart(edited.Remote);
  const QString target = Q(edited.Server.Host + edited.Remote);
  if (!copy.Error.empty()) {
    edited.Sending = false;
    Prompter().Error(this, QStringLiteral("Pelmar"),
                     QStringLiteral("The server's copy of %1 could not be looked at: %2. Nothing "
                                    "was uploaded; save the file again to try again.")
                         .arg(target, Q(copy.Error)));
    return;
  }
  // Without the fetched copy to compare with, any copy there may be someone else's.
  const bool changed = edited.CopyKnown ? CopyChanged(edited.Copy, copy) : copy.Exists;
  if (!changed) {
    StoreEditedFile(path, name, false);
    return;
  }
  const QString question =
      QStringLiteral(
          "%1 was changed on the server after you fetched it for editing.\n\n"
          "When fetched: %2\nOn the server now: %3\n\n"
          "Replace their copy with yours, or keep theirs and save yours under a new "
          "name?")
          .arg(target, Describe(edited.Copy, edited.CopyKnown), Describe(copy, true));
  // Enter keeps both copies: nothing is lost whoever's edit matters.
  const int choice = Prompter().Choose(
      this, QStringLiteral("Pelmar"), question,
      {QStringLiteral("&Replace theirs"),
       QStringLiteral("&Keep theirs and save mine as a new name"), QStringLiteral("Cancel")},
      1, 2);
  const auto still = EditedFiles.find(path);
  if (still == EditedFiles.end()) return;
  switch (choice) {
    case 0:
      StoreEditedFile(path, name, false);
      break;
    case 1:
      StoreEditedFile(path, EditedCopyName(name, copy.Names), true);
      break;
    default:
      still->second.Sending = false;
      AppendLogLine(
          QStringLiteral("%1 was not uploaded: the server's copy was changed").arg(target));
      break;
  }
}

void TfrmMain::StoreEditedFile(const QString& path, const std::string& name, bool asNewName) {
  TEditedFile& edited = EditedFiles.at(path);
  edited.Sending = true;
  edited.Sent = Stamp(path);
  const std::string folder = FolderPart(edited.Remote);
  AppendLogLine(
      QStringLiteral("Uploading the edited file to %1").arg(Q(edited.Server.Host + folder + name)));
  edited.Session->Store(S(path), folder, name,
                        [this, path, name, asNewName](const TServerCopy& copy) {
                          LaterForEditedFile(path, [this, path, name, asNewName, copy] {
                            EditedFileStored(path, name, asNewName, copy);
                          });
                        });
}

void TfrmMain::EditedFileStored(const QString& path, const std::string& name, bool asNewName,
                                const TServerCopy& copy) {
  TEditedFile& edited = EditedFiles.at(path);
  edited.Sending = false;
  const std::string folder = FolderPart(edited.Remote);
  const QString target = Q(edited.Server.Host + folder + name);
  if (!copy.Error.empty()) {
    Prompter().Error(this, QStringLiteral("Pelmar"),
                     QStringLiteral("The edited file could not be uploaded to %1: %2. Your edit "
                                    "is kept here; save the file again to try again.")
                         .arg(target, Q(copy.Error)));
    return;
  }
  // Later saves go where this one went, and are compared with what it left there.
  const std::string before = NamePart(edited.Remote);
  edited.Remote = folder + name;
  edited.Copy = copy;
  edited.CopyKnown = true;
  if (edited.Host) edited.Host->EntryArrived(folder, name, false, copy.Size, copy.Listed);
  AppendLogLine(QStringLiteral("Uploaded the edited file to %1").arg(target));
  const bool savedAgain = Stamp(path) != edited.Sent;
  edited.Changed = savedAgain;
  if (asNewName) {
    Prompter().Inform(this, QStringLiteral("Pelmar"),
                      QStringLiteral("The server's \"%1\" was kept. Your edit was saved as \"%2\" "
                                     "in %3 on the server; your next saves go there too.")
                          .arg(Q(before), Q(name), Q(edited.Server.Host + folder)));
  }
  // Saved again while it went: that save is offered as any other.
  if (savedAgain && EditedFiles.count(path) != 0 && !AskingAboutEdit) OfferEditedFile(path);
}

bool TfrmMain::ServerCopyKnown(const QString& path) const {
  const auto found = EditedFiles.find(path);
  return found != EditedFiles.end() && found->second.CopyKnown && !found->second.Sending;
}

int TfrmMain::EditedFilesNotUploaded() const {
  int count = 0;
  for (const auto& [path, edited] : EditedFiles) count += edited.Changed ? 1 : 0;
  return count;
}

}  // namespace pelmar
