#include "views/qt/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cstring>

namespace pelmar {

TFolderWatch::TFolderWatch(QObject* parent) : QObject(parent) {
  Fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  // Without inotify the pane still works; it only misses files rewritten in place.
  if (Fd >= 0) {
    Notifier = new QSocketNotifier(Fd, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this] { ReadEvents(); });
  }
  Settle.setSingleShot(true);
  Settle.setInterval(300);
  connect(&Settle, &QTimer::timeout, this, [this] {
    if (Pending.isEmpty()) return;
    const QStringList names(Pending.begin(), Pending.end());
    Pending.clear();
    emit FilesChanged(names);
  });
}

TFolderWatch::~TFolderWatch() {
  if (Fd >= 0) ::close(Fd);
}

void TFolderWatch::Watch(const QString& folder) {
  if (Fd < 0) return;
  if (WatchId >= 0) ::inotify_rm_watch(Fd, WatchId);
  WatchId = -1;
  Pending.clear();
  if (folder.isEmpty()) return;
  WatchId = ::inotify_add_watch(Fd, folder.toLocal8Bit().constData(),
                                IN_CLOSE_WRITE | IN_MODIFY | IN_ONLYDIR);
}

void TFolderWatch::ReadEvents() {
  alignas(inotify_event) std::array<char, 8192> buffer;
  for (;;) {
    const ssize_t n = ::read(Fd, buffer.data(), buffer.size());
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      inotify_event event;
      std::memcpy(&event, buffer.data() + at, sizeof event);
      const char* name = buffer.data() + at + sizeof event;
      if (event.wd == WatchId && event.len > 0 && !(event.mask & IN_ISDIR)) {
        Pending.insert(QString::fromLocal8Bit(name));
      }
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
  if (!Pending.isEmpty()) Settle.start();
}

}  // namespace pelmar
