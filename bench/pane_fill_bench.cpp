// Fills the remote pane with one big folder of a server, under the offscreen platform, and
// prints: the seconds from asking for the folder until its rows are shown and sorted by name,
// the longest stretch in which the user-interface thread ran no events, and the memory the
// listing added against the size of the listing's text.
//
//   pane_fill_bench ftp://host:port/ FOLDER

#include <malloc.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>
#include <fstream>

#include "engine/WorkerRegistry.h"
#include "platform/qt/QtEventTarget.h"
#include "views/qt/HostView.h"

using namespace pelmar;

namespace {

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: pane_fill_bench ftp://host:port/ FOLDER\n");
    return 2;
  }
  const QUrl url(argv[1]);
  auto target = std::make_shared<TQtEventTarget>();
  int status = 1;
  {
    QWidget page;
    page.resize(800, 600);
    page.show();
    THostView view(&page, target);
    if (qEnvironmentVariableIsSet("PELMAR_BENCH_VERBOSE")) {
      QObject::connect(&view, &THostView::Logged, [](const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text.trimmed()));
      });
    }
    size_t listingBytes = 0;
    view.Engine().OnListing = [&view, &listingBytes, previous = view.Engine().OnListing](
                                  TFTPComponent& sender, std::string& text) {
      listingBytes = text.size();
      previous(sender, text);
    };
    QElapsedTimer clock;
    bool measuring = false;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
      const qint64 now = clock.elapsed();
      if (measuring) longestGap = std::max(longestGap, now - lastTick);
      lastTick = now;
    });
    long before = 0;
    QString wanted;
    QObject::connect(&view, &TCustomView::StateUpdated, [&](int code, int) {
      if (code == usIdle && wanted.isEmpty() && !view.Folder().isEmpty()) {
        // The log-on folder is shown; the big folder is below it.
        wanted = view.Folder() + argv[2] + "/";
        QTimer::singleShot(0, [&] {
          malloc_trim(0);
          before = ResidentBytes();
          clock.start();
          lastTick = 0;
          measuring = true;
          heartbeat.start();
          view.ChangeFolder(wanted);
        });
        return;
      }
      if (code == usIdle && measuring && view.Folder() == wanted && view.Model().rowCount() > 0) {
        measuring = false;
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        heartbeat.stop();
        // What the shown folder keeps, not what the listing needed on the way: measured once the
        // listing's event (which holds its text, and inside whose handling the pane turns idle)
        // has ended.
        QTimer::singleShot(0, [&, seconds] {
          malloc_trim(0);
          const long added = ResidentBytes() - before;
          std::printf(
              "rows %d seconds %.3f longest-stall-ms %lld listing-bytes %zu added-bytes %ld\n",
              view.Model().rowCount(), seconds, static_cast<long long>(longestGap), listingBytes,
              added);
          status = 0;
          QTimer::singleShot(0, &app, &QApplication::quit);
        });
      }
      if (code == usConnectFailed) QTimer::singleShot(0, &app, &QApplication::quit);
    });
    view.Connect(url.host(), url.port(21), url.userName().isEmpty() ? "anonymous" : url.userName(),
                 url.password().isEmpty() ? "bench@example.com" : url.password(), "", "", "");
    QTimer::singleShot(120000, &app, &QApplication::quit);
    app.exec();
  }
  ShutdownEngine(std::chrono::milliseconds(2000));
  return status;
}
