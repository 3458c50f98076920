#pragma once
// Shared set-up for engine tests: a plain event target on the test thread, components whose
// events are recorded as short texts, and waiting for conditions with a deadline.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FTPComponent.h"
#include "platform/PlainEventTarget.h"

namespace pelmar::test {

inline constexpr std::chrono::milliseconds kWait{10000};
using TCommands = std::vector<std::string>;

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A component whose events are appended to Events as texts such as "log:220 Hello",
  // "error:10061:Connection refused", "folder:0:/pub", "progress:0:1:0", "loggedin".
  std::unique_ptr<TFTPComponent> MakeComponent();
  // A component pointed at 127.0.0.1:port as anonymous.
  std::unique_ptr<TFTPComponent> MakeConnectedComponent(uint16_t port);

  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kWait);
  // Connects `ftp`, answering a certificate or host key question with `decision` (the question
  // kept in Questions), and waits for the log-on's outcome: whether it logged on.
  bool ConnectAndWait(TFTPComponent& ftp, TTrustDecision decision = tdRefuse,
                      std::chrono::milliseconds timeout = kWait);
  // Waits until everything posted to `ftp` so far is done: a folder request behind it answered.
  void Finish(TFTPComponent& ftp);
  // Waits until the worker has left its request (IsBusy has no event of its own).
  bool WaitIdle(const TFTPComponent& ftp);
  // Waits until an event text equal to `text` was recorded `count` times.
  bool WaitForEvent(const std::string& text, int count = 1);
  int CountEvents(const std::string& text) const;
  // The recorded events that start with `prefix`, in order.
  std::vector<std::string> EventsStartingWith(const std::string& prefix) const;
  // The recorded events other than log lines, in order.
  std::vector<std::string> NonLogEvents() const;

  std::shared_ptr<TPlainEventTarget> Target;
  std::vector<std::string> Events;
  std::string Listing;
  std::vector<TCertificateEventData> Questions;
};

class TScript;
class TScriptedFtpServer;

// Tests that start from a logged-on connection to the scripted server.
class LoggedOnTest : public EngineTest {
 protected:
  // A server that logs an anonymous client on (answering the resume probe with `restReply`)
  // and then plays `after`.
  // `featReply` answers FEAT (by default: no features).
  std::unique_ptr<TScriptedFtpServer> StartServer(
      const TScript& after, const std::string& restReply = "350 R",
      const std::string& featReply = "500 FEAT not understood");
  // A component logged on to `server`; the log-on's events are cleared.
  std::unique_ptr<TFTPComponent> LogOn(const TScriptedFtpServer& server);
  // The commands the server received after the log-on and the resume probe. Scripts answer
  // Finish()'s PWD with "257 \"/done\"".
  std::vector<std::string> Sent(const TScriptedFtpServer& server);

 private:
  size_t LogOnCommands = 4;
};

}  // namespace pelmar::test
