#pragma once
// Icons and type names of local files from the desktop: the icon theme and the MIME database,
// with "xyz File" for a type the database does not know, as in the remote pane.

#include <QFileIconProvider>

namespace pelmar {

class TDesktopIconProvider : public QFileIconProvider {
 public:
  QIcon icon(IconType type) const override;
  QIcon icon(const QFileInfo& info) const override;
  QString type(const QFileInfo& info) const override;
};

}  // namespace pelmar
