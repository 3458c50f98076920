#pragma once
// Notices files of one folder that change their contents (written by another program), which
// the file-system model's own watch does not report: it hears of names coming and going, not
// of a file being rewritten in place. One inotify watch on the folder covers all its files.

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class QSocketNotifier;

namespace pelmar {

class TFolderWatch : public QObject {
  Q_OBJECT
 public:
  explicit TFolderWatch(QObject* parent = nullptr);
  ~TFolderWatch() override;
  TFolderWatch(const TFolderWatch&) = delete;
  TFolderWatch& operator=(const TFolderWatch&) = delete;

  // Watches `folder` instead of the one before; an empty path watches nothing.
  void Watch(const QString& folder);

 signals:
  // Names of files in the folder written since the last report (reported together, a short
  // while after the writing stopped).
  void FilesChanged(const QStringList& names);

 private:
  void ReadEvents();

  int Fd = -1;
  int WatchId = -1;
  QSocketNotifier* Notifier = nullptr;
  QSet<QString> Pending;
  QTimer Settle;
};

}  // namespace pelmar
