#include "views/qt/LocalFileOps.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QUrl>

#include "text/PaneTexts.h"
#include "ui/QtText.h"

namespace pelmar {
namespace {

constexpr const char* kGnomeFormat = "x-special/gnome-copied-files";

bool RemoveEntry(const QString& path) {
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink()) return QDir(path).removeRecursively();
  return QFile::remove(path);
}

// Copies a file or a whole folder; true when all of it arrived.
bool CopyEntry(const QString& from, const QString& to) {
  const QFileInfo info(from);
  if (info.isSymLink()) return QFile::link(info.symLinkTarget(), to);
  if (!info.isDir()) return QFile::copy(from, to);
  if (!QDir().mkpath(to)) return false;
  bool ok = true;
  QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  while (it.hasNext()) {
    it.next();
    const QString target = to + QStringLiteral("/") + it.fileName();
    if (QFileInfo::exists(target)) RemoveEntry(target);
    ok = CopyEntry(it.filePath(), target) && ok;
  }
  return ok;
}

QString FreeCopyName(const QString& folder, const QString& name) {
  const QFileInfo info(name);
  const QString base = info.completeBaseName().isEmpty() ? name : info.completeBaseName();
  const QString suffix = info.suffix().isEmpty() || info.completeBaseName().isEmpty()
                             ? QString()
                             : QStringLiteral(".") + info.suffix();
  QString candidate = base + QStringLiteral(" (copy)") + suffix;
  for (int n = 2; QFileInfo::exists(folder + candidate); ++n) {
    candidate = QString(QStringLiteral("%1 (copy %2)%3")).arg(base).arg(n).arg(suffix);
  }
  return candidate;
}

}  // namespace

QStringList MoveToTrash(const QStringList& paths) {
  QStringList refused;
  for (const QString& path : paths) {
    if (!QFile::moveToTrash(path)) refused << path;
  }
  return refused;
}

QStringList DeleteForGood(const QStringList& paths) {
  QStringList failed;
  for (const QString& path : paths) {
    if (!RemoveEntry(path)) failed << path;
  }
  return failed;
}

QMimeData* FilesMimeData(const QStringList& paths, bool cut) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  QByteArray gnome = cut ? "cut" : "copy";
  for (const QString& path : paths) {
    const QUrl url = QUrl::fromLocalFile(path);
    urls << url;
    gnome += "\n" + url.toEncoded();
  }
  data->setUrls(urls);
  data->setData(QLatin1String(kGnomeFormat), gnome);
  return data;
}

TClipboardFiles ReadClipboardFiles(const QMimeData* data) {
  TClipboardFiles files;
  if (!data) return files;
  QList<QUrl> urls;
  if (data->hasFormat(QLatin1String(kGnomeFormat))) {
    const QList<QByteArray> lines = data->data(QLatin1String(kGnomeFormat)).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
      const QByteArray line = lines[i].trimmed();
      if (i == 0) {
        files.Cut = line == "cut";
        if (line == "cut" || line == "copy") continue;
      }
      if (!line.isEmpty()) urls << QUrl::fromEncoded(line);
    }
  } else if (data->hasUrls()) {
    urls = data->urls();
  }
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) files.Paths << url.toLocalFile();
  }
  return files;
}

QStringList PasteFiles(const TClipboardFiles& files, const QString& folderText,
                       const std::function<bool(const QString& target)>& replace) {
  QStringList failed;
  const QString folder = folderText.endsWith(u'/') ? folderText : folderText + QStringLiteral("/");
  const QString destination = QFileInfo(folder).canonicalFilePath();
  for (const QString& source : files.Paths) {
    const QFileInfo info(source);
    if (!info.exists() && !info.isSymLink()) {
      failed << source + QStringLiteral(": no longer there");
      continue;
    }
    const QString canonical = info.canonicalFilePath();
    // A folder cannot go into itself.
    if (info.isDir() &&
        (destination == canonical || destination.startsWith(canonical + QStringLiteral("/")))) {
      failed << source + QStringLiteral(": a folder cannot be pasted into itself");
      continue;
    }
    QString target = folder + info.fileName();
    if (QFileInfo(target).canonicalFilePath() == canonical) {
      if (files.Cut) continue;  // moved onto itself: nothing to do
      target = folder + FreeCopyName(folder, info.fileName());
    } else if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
      if (!replace(target)) continue;
      if (!RemoveEntry(target)) {
        failed << target + QStringLiteral(": cannot be replaced");
        continue;
      }
    }
    bool ok = false;
    if (files.Cut) {
      ok = QFile::rename(source, target) || (CopyEntry(source, target) && RemoveEntry(source));
    } else {
      ok = CopyEntry(source, target);
    }
    if (!ok) failed << source;
  }
  return failed;
}

void ShowLocalProperties(QWidget* parent, const QStringList& paths) {
  QDialog dialog(parent);
  dialog.setObjectName("TfrmLocalProperties");
  dialog.setWindowTitle(paths.size() == 1
                            ? QFileInfo(paths.first()).fileName() + QStringLiteral(" Properties")
                            : QStringLiteral("Properties"));
  auto* form = new QFormLayout(&dialog);
  int64_t bytes = 0;
  int files = 0;
  int folders = 0;
  for (const QString& path : paths) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
      ++folders;
      QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System,
                      QDirIterator::Subdirectories);
      while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
        ++files;
      }
    } else {
      ++files;
      bytes += info.size();
    }
  }
  const QFileInfo first(paths.first());
  auto add = [&](const char* name, const QString& label, const QString& text) {
    auto* value = new QLabel(text, &dialog);
    value->setObjectName(name);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(label, value);
  };
  if (paths.size() == 1) {
    add("lblName", QStringLiteral("Name:"), first.fileName());
    static const QMimeDatabase mimes;
    add("lblType", QStringLiteral("Type:"),
        first.isDir() ? QStringLiteral("Folder") : mimes.mimeTypeForFile(first).comment());
  } else {
    add("lblName", QStringLiteral("Name:"), QString(QStringLiteral("%1 items")).arg(paths.size()));
  }
  add("lblLocation", QStringLiteral("Location:"), first.absolutePath());
  QString size = Q(SizeText(bytes)) +
                 QString(QStringLiteral(" (%1 bytes)")).arg(QLocale().toString(qlonglong(bytes)));
  if (folders > 0) size += QString(QStringLiteral(", %1 files")).arg(files);
  add("lblSize", QStringLiteral("Size:"), size);
  add("lblModified", QStringLiteral("Modified:"),
      QLocale().toString(first.lastModified(), QLocale::LongFormat));
  const QFile::Permissions p = first.permissions();
  QString letters;
  for (const auto& [flag, letter] :
       std::initializer_list<std::pair<QFile::Permission, char>>{{QFile::ReadOwner, 'r'},
                                                                 {QFile::WriteOwner, 'w'},
                                                                 {QFile::ExeOwner, 'x'},
                                                                 {QFile::ReadGroup, 'r'},
                                                                 {QFile::WriteGroup, 'w'},
                                                                 {QFile::ExeGroup, 'x'},
                                                                 {QFile::ReadOther, 'r'},
                                                                 {QFile::WriteOther, 'w'},
                                                                 {QFile::ExeOther, 'x'}}) {
    letters += (p & flag) ? QChar::fromLatin1(letter) : QChar(u'-');
  }
  add("lblPermissions", QStringLiteral("Permissions:"),
      letters + QStringLiteral("  (") + first.owner() + QStringLiteral(", ") + first.group() +
          QStringLiteral(")"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  form->addRow(buttons);
  dialog.exec();
}

}  // namespace pelmar
