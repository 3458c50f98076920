#include "support/EngineFixture.h"

#include <algorithm>
#include <thread>

#include "engine/EngineSettings.h"
#include "engine/WorkerRegistry.h"
#include "support/ScriptedFtpServer.h"

namespace pelmar::test {

void EngineTest::SetUp() {
  Target = std::make_shared<TPlainEventTarget>();
  EngineSettings().FTPTimeout = 5000;
  EngineSettings().FTPRetries = 3;
  EngineSettings().FTPKeepAlive = true;
  EngineSettings().PassiveMode = false;
}

void EngineTest::TearDown() {
  // Every worker must end promptly once told to; a stuck one is a fault.
  EXPECT_TRUE(ShutdownEngine(std::chrono::milliseconds(10000)));
  const TEngineSettings defaults;
  EngineSettings().FTPTimeout = defaults.FTPTimeout.load();
  EngineSettings().FTPRetries = defaults.FTPRetries.load();
  EngineSettings().FTPKeepAlive = defaults.FTPKeepAlive.load();
  EngineSettings().FTPRecvBufSize = defaults.FTPRecvBufSize.load();
  EngineSettings().FTPSendBufSize = defaults.FTPSendBufSize.load();
  EngineSettings().PassiveMode = defaults.PassiveMode.load();
}

std::unique_ptr<TFTPComponent> EngineTest::MakeComponent() {
  auto c = std::make_unique<TFTPComponent>(Target);
  auto add = [this](std::string text) { Events.push_back(std::move(text)); };
  c->OnAborted = [add](TFTPComponent&) { add("aborted"); };
  c->OnConnectFailed = [add](TFTPComponent&) { add("connectfailed"); };
  c->OnConnected = [add](TFTPComponent&) { add("connected"); };
  c->OnDisconnected = [add](TFTPComponent&) { add("disconnected"); };
  c->OnLoggedIn = [add](TFTPComponent&) { add("loggedin"); };
  c->OnError = [add](TFTPComponent&, int code, const std::string& text) {
    add("error:" + std::to_string(code) + ":" + text);
  };
  c->OnFolder = [add](TFTPComponent&, const std::string& path, uint8_t kind) {
    add("folder:" + std::to_string(kind) + ":" + path);
  };
  c->OnLog = [add](TFTPComponent&, const std::string& text) { add("log:" + text); };
  c->OnProgress = [add](TFTPComponent&, uint8_t kind, bool isFile, int64_t count) {
    add("progress:" + std::to_string(kind) + ":" + (isFile ? "1" : "0") + ":" +
        std::to_string(count));
  };
  c->OnListing = [this, add](TFTPComponent&, std::string& text) {
    Listing = text;
    add("listing");
  };
  c->OnFileSize = [add](TFTPComponent&, const std::string& name, int64_t size) {
    add("filesize:" + name + ":" + std::to_string(size));
  };
  return c;
}

std::unique_ptr<TFTPComponent> EngineTest::MakeConnectedComponent(uint16_t port) {
  auto c = MakeComponent();
  c->Host = "127.0.0.1";
  c->Port = port;
  c->User = "anonymous";
  c->Password = "guest@example.com";
  return c;
}

bool EngineTest::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return Target->RunUntil(done, timeout);
}

bool EngineTest::ConnectAndWait(TFTPComponent& ftp, TTrustDecision decision,
                                std::chrono::milliseconds timeout) {
  ftp.OnCertificate = [this, decision](TFTPComponent&, const TCertificateEventData& question,
                                       TCertificateAnswer answer) {
    Questions.push_back(question);
    answer(decision);
  };
  const int before = CountEvents("loggedin") + CountEvents("connectfailed");
  ftp.Connect();
  EXPECT_TRUE(RunUntil(
      [&] { return CountEvents("loggedin") + CountEvents("connectfailed") > before; }, timeout));
  return ftp.LoggedIn == 1;
}

void EngineTest::Finish(TFTPComponent& ftp) {
  const size_t before = EventsStartingWith("folder:0:").size();
  ftp.GetFolder();
  ASSERT_TRUE(RunUntil([&] { return EventsStartingWith("folder:0:").size() > before; }));
}

bool EngineTest::WaitIdle(const TFTPComponent& ftp) {
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (ftp.IsBusy()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

bool EngineTest::WaitForEvent(const std::string& text, int count) {
  return RunUntil([&] { return CountEvents(text) >= count; });
}

int EngineTest::CountEvents(const std::string& text) const {
  return static_cast<int>(std::count(Events.begin(), Events.end(), text));
}

std::vector<std::string> EngineTest::EventsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& e : Events) {
    if (e.rfind(prefix, 0) == 0) out.push_back(e);
  }
  return out;
}

std::vector<std::string> EngineTest::NonLogEvents() const {
  std::vector<std::string> out;
  for (const auto& e : Events) {
    if (e.rfind("log:", 0) != 0) out.push_back(e);
  }
  return out;
}

std::unique_ptr<TScriptedFtpServer> LoggedOnTest::StartServer(const TScript& after,
                                                              const std::string& restReply,
                                                              const std::string& featReply) {
  TScript script;
  script.Reply("220 Ready").On("331 Password").On("230 In").On(featReply);
  LogOnCommands = 3;  // USER, PASS, FEAT
  // Without REST STREAM, the resume probe: REST 100, REST 0 and, where REST is refused in
  // text mode, once more in binary mode, text mode set back.
  if (featReply.find("REST STREAM") == std::string::npos) {
    script.On(restReply).On(restReply);
    LogOnCommands += 2;
    if (restReply.rfind("350", 0) != 0) {
      script.On("200 Type set").On(restReply).On("200 Type set");
      LogOnCommands += 3;
    }
  }
  for (const auto& step : after.Steps) script.Steps.push_back(step);
  return std::make_unique<TScriptedFtpServer>(std::vector<TScript>{script});
}

std::unique_ptr<TFTPComponent> LoggedOnTest::LogOn(const TScriptedFtpServer& server) {
  auto ftp = MakeConnectedComponent(server.Port());
  ftp->Connect();
  EXPECT_TRUE(WaitForEvent("loggedin"));
  Events.clear();
  return ftp;
}

std::vector<std::string> LoggedOnTest::Sent(const TScriptedFtpServer& server) {
  const auto all = server.Commands();
  return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(LogOnCommands),
                                  all.end());
}

}  // namespace pelmar::test
