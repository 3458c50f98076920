#include "views/qt/DesktopIcons.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

#include "text/PaneTexts.h"
#include "ui/QtText.h"

namespace pelmar {
namespace {

const QMimeDatabase& Mimes() {
  static const QMimeDatabase mimes;
  return mimes;
}

}  // namespace

QIcon TDesktopIconProvider::icon(IconType type) const {
  if (type == Folder) {
    return QIcon::fromTheme(QStringLiteral("folder"),
                            QApplication::style()->standardIcon(QStyle::SP_DirIcon));
  }
  return QFileIconProvider::icon(type);
}

QIcon TDesktopIconProvider::icon(const QFileInfo& info) const {
  if (info.isDir()) return icon(Folder);
  const QMimeType type = Mimes().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
  QIcon themed = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
  if (themed.isNull()) {
    themed = QIcon::fromTheme(QStringLiteral("text-x-generic"),
                              QApplication::style()->standardIcon(QStyle::SP_FileIcon));
  }
  return themed;
}

QString TDesktopIconProvider::type(const QFileInfo& info) const {
  if (info.isDir()) return QStringLiteral("File Folder");
  const QMimeType type = Mimes().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
  const QString known = type.isDefault() ? QString() : type.comment();
  return Q(RemoteTypeColumn(S(info.fileName()), false, false, S(known)));
}

}  // namespace pelmar
