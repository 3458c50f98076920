// The worker thread and the component: request order, abort, cancel, disconnect, time-outs,
// the keep-alive, destruction while busy and a throwing event handler.

#include <gtest/gtest.h>

#include <thread>

#include "engine/ComponentList.h"
#include "engine/EngineHooks.h"
#include "engine/EngineSettings.h"
#include "engine/WorkerRegistry.h"
#include "platform/Tick.h"
#include "support/EngineFixture.h"
#include "support/ScriptedFtpServer.h"

namespace pelmar::test {
namespace {

TScript LoggedOnScript() {
  return TScript().Reply("220 Ready").OnEach({"331 Password", "230 In"}).Probe();
}

// A connection whose greeting waits for the test to open the gate: the worker is then
// blocked inside its connect request.
TScript GatedGreeting() {
  return TScript().Gate().Then(LoggedOnScript());
}

class WorkerTest : public EngineTest {};

TEST_F(WorkerTest, AbortEndsABlockedReplyWaitAtOnce) {
  EngineSettings().FTPTimeout = 600000;  // only the abort can end the wait in time
  TScript s;
  s.Reply("220 Ready").Read().WaitClose();  // USER is never answered
  TScriptedFtpServer server({s});
  auto ftp = MakeConnectedComponent(server.Port());
  ftp->Connect();
  ASSERT_TRUE(server.WaitForCommands(1, kWait));
  ftp->Abort();
  ASSERT_TRUE(WaitForEvent("connectfailed"));
  EXPECT_EQ(NonLogEvents(),
            (std::vector<std::string>{"connected", "error:10004:Operation interrupted",
                                      "disconnected", "connectfailed"}));
  EXPECT_EQ(server.Connections(), 1) << "an aborted connect is not attempted again";
}

TEST_F(WorkerTest, DisconnectWhileNotLoggedOnDropsEverythingAndSendsNoQuit) {
  TScriptedFtpServer server({GatedGreeting()});
  auto ftp = MakeConnectedComponent(server.Port());
  ftp->Connect();
  ASSERT_TRUE(server.WaitForConnections(1, kWait));
  ftp->GetFolder();
  ftp->ChangeFolder("queued");
  ftp->Download("remote", ::testing::TempDir() + "never-created", 2);
  ftp->Disconnect();
  ASSERT_TRUE(WaitForEvent("connectfailed"));
  ftp.reset();
  ASSERT_TRUE(WaitForNoWorkers(kWait));
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_EQ(NonLogEvents(), (std::vector<std::string>{"error:10004:Operation interrupted",
                                                      "disconnected", "connectfailed"}));
}

TEST_F(WorkerTest, OnlyTheLastQuitBehindACancelIsServed) {
  // Everything is queued before the worker looks at its queue.
  auto ftp = std::make_unique<TFTPComponent>(Target, false);
  auto* events = &Events;
  ftp->OnDisconnected = [events](TFTPComponent&) { events->push_back("disconnected"); };
  ftp->OnError = [events](TFTPComponent&, int code, const std::string& text) {
    events->push_back("error:" + std::to_string(code) + ":" + text);
  };
  ftp->GetFolder();
  ftp->LoggedIn = 1;  // as the user interface believes it
  ftp->Disconnect();  // abort, cancel, quit
  ftp->ChangeFolder("dropped");
  ftp->Disconnect();  // abort, cancel, quit
  ftp->StartWorker();
  // The served QUIT fails on the missing connection, silently, with one evDisconnected; a
  // second QUIT, or the dropped requests, would each add another.
  ASSERT_TRUE(WaitForEvent("disconnected"));
  ftp->Upload("/nonexistent-folder/marker", "remote", 1);
  ASSERT_TRUE(WaitForEvent(
      "error:0:Unable to open file /nonexistent-folder/marker: No such file or directory"));
  EXPECT_EQ(
      Events,
      (std::vector<std::string>{
          "disconnected",
          "disconnected",  // the marker's TYPE
          "error:0:Unable to open file /nonexistent-folder/marker: No such file or directory"}));
}

TEST_F(WorkerTest, DisconnectWhileLoggedOnAndIdleQuits) {
  TScript s = LoggedOnScript();
  s.On("221 Bye").WaitClose();
  TScriptedFtpServer server({s});
  auto ftp = MakeConnectedComponent(server.Port());
  ftp->Connect();
  ASSERT_TRUE(WaitForEvent("loggedin"));
  EXPECT_EQ(ftp->LoggedIn, 1);
  ftp->Disconnect();
  ASSERT_TRUE(WaitForEvent("disconnected"));
  EXPECT_EQ(ftp->LoggedIn, 0);
  EXPECT_FALSE(ftp->IsConnected());
  EXPECT_EQ(server.Commands().back(), "QUIT");
  EXPECT_EQ(CountEvents("log:221 Bye"), 1);
}

TEST_F(WorkerTest, EventsRunOnTheTargetThreadAndAThrowingHandlerDoesNotStopThem) {
  std::vector<std::string> shown;
  SetEngineMessageHook([&](const std::string& text) { shown.push_back(text); });
  TScriptedFtpServer server({LoggedOnScript()});
  auto ftp = MakeConnectedComponent(server.Port());
  std::vector<std::thread::id> threads;
  int logs = 0;
  ftp->OnLog = [&](TFTPComponent&, const std::string&) {
    threads.push_back(std::this_thread::get_id());
    if (++logs == 1) throw std::runtime_error("handler failed");
  };
  ftp->Connect();
  ASSERT_TRUE(WaitForEvent("loggedin"));
  SetEngineMessageHook(nullptr);
  EXPECT_EQ(shown, std::vector<std::string>{"handler failed"});
  EXPECT_GT(logs, 3);
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(WorkerTest, ComponentDestroyedWhileBusyIsNeverTouchedAgain) {
  TScript s = GatedGreeting();
  s.On("257 \"/\"").WaitClose();
  TScriptedFtpServer server({s});
  auto ftp = MakeConnectedComponent(server.Port());
  ftp->Connect();
  ftp->GetFolder();
  ASSERT_TRUE(server.WaitForConnections(1, kWait));
  ftp.reset();  // the worker is blocked in the greeting
  Events.clear();
  server.OpenGate();
  // The worker finishes its log-on, then ends at the quit message; its events are dropped.
  ASSERT_TRUE(WaitForNoWorkers(kWait));
  Target->ProcessPendingEvents();
  EXPECT_TRUE(Events.empty());
  ASSERT_TRUE(server.WaitDone(kWait));
  // Requests queued before the destruction are still served (their events are dropped).
  EXPECT_EQ(server.Commands().back(), "PWD");
}

TEST_F(WorkerTest, KeepAliveSendsAQuietNoopAfterMoreThanThirtyIdleSeconds) {
  TScript s = LoggedOnScript();
  s.On("200 NOOP ok").On("257 \"/\"").WaitClose();
  TScriptedFtpServer server({s});
  auto ftp = MakeConnectedComponent(server.Port());
  auto idle = MakeComponent();  // never connected: never pinged
  ftp->Connect();
  ASSERT_TRUE(WaitForEvent("loggedin"));
  ASSERT_TRUE(WaitIdle(*ftp));
  EngineSettings().FTPKeepAlive = false;
  for (int i = 0; i < 5; ++i) KeepAlivePass();
  EXPECT_EQ(ftp->IdleSeconds, 0) << "with keep-alive off the pass does nothing";
  EngineSettings().FTPKeepAlive = true;
  for (int tick = 1; tick <= 3; ++tick) KeepAlivePass();
  EXPECT_EQ(ftp->IdleSeconds, 30);
  EXPECT_EQ(server.Commands().size(), 5u);
  KeepAlivePass();
  EXPECT_EQ(ftp->IdleSeconds, 0) << "posting the NOOP counts as activity";
  ASSERT_TRUE(server.WaitForCommands(6, kWait));
  EXPECT_EQ(server.Commands().back(), "NOOP");
  EXPECT_EQ(idle->IdleSeconds, 40);
  ftp->GetFolder();  // served after the NOOP; its folder event means the NOOP is done
  ASSERT_TRUE(WaitForEvent("folder:0:/"));
  EXPECT_EQ(CountEvents("log:NOOP"), 0);
  EXPECT_EQ(CountEvents("log:200 NOOP ok"), 0);
}

TEST_F(WorkerTest, ProgramExitEndsEveryWorkerWithinABoundedWait) {
  EngineSettings().FTPTimeout = 600000;
  TScript s;
  s.Reply("220 Ready").Read().WaitClose();
  TScriptedFtpServer server({s});
  auto busy = MakeConnectedComponent(server.Port());
  auto idle = MakeComponent();
  busy->Connect();
  ASSERT_TRUE(server.WaitForCommands(1, kWait));
  EXPECT_EQ(LiveWorkerCount(), 2u);
  EXPECT_TRUE(ShutdownEngine(std::chrono::milliseconds(5000)));
  EXPECT_EQ(LiveWorkerCount(), 0u);
}

TEST_F(WorkerTest, QuitBehindACancelStillEndsTheWorker) {
  TScriptedFtpServer server({GatedGreeting()});
  auto ftp = MakeConnectedComponent(server.Port());
  ftp->Connect();
  ASSERT_TRUE(server.WaitForConnections(1, kWait));
  ftp->GetFolder();
  ftp->Disconnect();
  ftp.reset();  // WM_QUIT arrives behind the cancel
  ASSERT_TRUE(WaitForNoWorkers(kWait));
}

}  // namespace
}  // namespace pelmar::test
