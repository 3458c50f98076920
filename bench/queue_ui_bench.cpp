// Moves a folder of many files through the transfer queue of the desktop program, N at a time,
// with the progress window and the transfer manager shown (offscreen platform), and prints the
// seconds it took and the longest stretch in which the user-interface thread ran no events.
//
//   queue_ui_bench ftp://host:port/FOLDER/ LOCALFOLDER FILES PARALLEL
// PELMAR_BENCH_KEPT=FILE: the queue is kept on disk in FILE meanwhile.
// The server's FOLDER holds f0.bin .. f{FILES-1}.bin.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <string>

#include "engine/WorkerRegistry.h"
#include "platform/qt/QtEventTarget.h"
#include "settings/Preferences.h"
#include "transfers/QueueStore.h"
#include "transfers/TransferQueue.h"
#include "transfers/qt/TransferManager.h"
#include "transfers/qt/TransferWindow.h"

using namespace pelmar;

namespace {

class TQuietHost : public ITransferWindowHost {
 public:
  void SetStatusLine(const QString&) override {}
  void AppendToLog(const QString&) override {}
  void SetTransferConnected(bool) override {}
  void EndOfFile() override {}
  void EndOfAll() override { Ended = true; }
  bool Ended = false;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 5) {
    std::fprintf(stderr, "usage: queue_ui_bench ftp://host:port/FOLDER/ LOCAL FILES PARALLEL\n");
    return 2;
  }
  const QUrl url(argv[1]);
  const std::string local = std::string(argv[2]) + "/";
  const int files = std::atoi(argv[3]);
  Preferences().TransferMode = 2;
  // PELMAR_BENCH_NO_TIMES=1: without asking each file's time (MDTM).
  Preferences().PreserveTimeStamp = !qEnvironmentVariableIsSet("PELMAR_BENCH_NO_TIMES");
  Preferences().ApplyEngineSettings();  // passive mode, as the program's defaults
  auto target = std::make_shared<TQtEventTarget>();
  int status = 1;
  {
    TTransferItems queue(target);
    queue.Parallel = std::atoi(argv[4]);
    // PELMAR_BENCH_KEPT=FILE keeps the queue on disk in FILE, as the program does.
    std::unique_ptr<TQueueStore> kept;
    if (const QByteArray file = qgetenv("PELMAR_BENCH_KEPT"); !file.isEmpty()) {
      kept = std::make_unique<TQueueStore>(file.toStdString(), target);
      kept->Follow(queue);
    }
    TQuietHost host;
    TfrmTransfer window(queue, host);
    TfrmTransferMngr manager(queue, window);
    // PELMAR_BENCH_HIDDEN=1 measures the queue without its windows.
    if (!qEnvironmentVariableIsSet("PELMAR_BENCH_HIDDEN")) {
      window.show();
      manager.show();
    }
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    qint64 longestAt = 0;  // when the longest stall ended
    qint64 queued = 0;     // how long queuing every item took
    QTimer heartbeat;
    // A tick every millisecond when the thread is free: a late tick is a stall.
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
      const qint64 now = clock.elapsed();
      if (now - lastTick > longestGap) {
        longestGap = now - lastTick;
        longestAt = now;
      }
      lastTick = now;
      if (host.Ended) {
        heartbeat.stop();
        int done = queue.CountInState(tsDone);
        std::printf(
            "files %d done %d seconds %.3f longest-stall-ms %lld (ending at %lld ms; "
            "queuing took %lld ms)\n",
            files, done, static_cast<double>(clock.nsecsElapsed()) / 1e9,
            static_cast<long long>(longestGap), static_cast<long long>(longestAt),
            static_cast<long long>(queued));
        status = done == files ? 0 : 1;
        for (int i = 0; i < queue.Count(); ++i) {
          if (queue.Item(i).State != tsDone) {
            std::fprintf(stderr, "%s: %s\n", queue.Item(i).FileName.c_str(),
                         queue.Item(i).FailureText.c_str());
            break;
          }
        }
        QTimer::singleShot(0, &app, &QApplication::quit);
      }
    });
    QTimer::singleShot(0, [&] {
      clock.start();
      heartbeat.start();
      const auto server = std::make_shared<const TServer>(TServer{.Host = url.host().toStdString(),
                                                                  .Port = url.port(21),
                                                                  .User = "anonymous",
                                                                  .Password = "bench@example.com"});
      for (int i = 0; i < files; ++i) {
        auto item = std::make_unique<TTransferItem>();
        item->Server = server;
        // Relative to the log-on folder (vsftpd run as the launching user has no chroot).
        item->SourceFolder = url.path().mid(1).toStdString();
        item->DestFolder = local;
        item->FileName = "f" + std::to_string(i) + ".bin";
        item->Size = 4096;
        queue.Add(item);
      }
      queued = clock.elapsed();
    });
    QTimer::singleShot(300000, &app, &QApplication::quit);
    app.exec();
    queue.DisconnectAll();
  }
  ShutdownEngine(std::chrono::milliseconds(2000));
  return status;
}
