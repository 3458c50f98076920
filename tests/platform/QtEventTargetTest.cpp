#include "platform/qt/QtEventTarget.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <thread>
#include <vector>

namespace pelmar {
namespace {

// Runs the Qt event loop until `done` or ten seconds.
bool Spin(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return done();
}

TEST(QtEventTarget, TasksFromAWorkerRunOnTheGuiThreadInOrder) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  TQtEventTarget target;
  std::vector<int> seen;
  std::vector<std::thread::id> threads;
  std::thread worker([&] {
    for (int i = 0; i < 300; ++i) {
      target.Post([&seen, &threads, i] {
        seen.push_back(i);
        threads.push_back(std::this_thread::get_id());
      });
    }
  });
  ASSERT_TRUE(Spin([&] { return seen.size() == 300; }));
  worker.join();
  for (int i = 0; i < 300; ++i) ASSERT_EQ(seen[static_cast<size_t>(i)], i);
  for (auto id : threads) ASSERT_EQ(id, std::this_thread::get_id());

  int ticks = 0;
  const int id = target.StartTimer(1, [&] { ++ticks; });
  ASSERT_TRUE(Spin([&] { return ticks >= 3; }));
  target.KillTimer(id);
  const int after = ticks;
  target.Post([] {});
  QCoreApplication::processEvents();
  EXPECT_EQ(ticks, after) << "a killed timer does not tick";
}

// A pending task may hold the last owner of its own target (a connection waiting to be freed
// holds the target through its worker). Qt drops such tasks at exit while it holds its event
// lock; the target must then go without touching Qt's event lists, or the program hangs.
TEST(QtEventTarget, ATaskHoldingTheLastOwnerOfItsTargetIsDroppedAtExit) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  bool ran = false;
  {
    QCoreApplication app(argc, argv);
    auto target = std::make_shared<TQtEventTarget>();
    target->Post([keep = target, &ran] { ran = true; });
    target->Post([&ran] { ran = true; });  // still pending when the first one goes
    target.reset();
  }
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace pelmar
