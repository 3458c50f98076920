// Commands and replies on the control connection, and the transcript they leave in the log.

#include <array>
#include <stdexcept>
#include <vector>

#include "engine/Exceptions.h"
#include "engine/FTPThread.h"
#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

// Disarms the watchdog on every way out of a blocking step.
struct TWatchdogGuard {
  TBlockingContext& Blocking;
  ~TWatchdogGuard() { Blocking.DisarmWatchdog(); }
};

}  // namespace

void TFTPThread::SendCommand(const std::string& command) {
  if (command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    throw std::runtime_error("Invalid character in command");
  }
  Log(command);
  LastVerb = command.substr(0, command.find(' '));
  EchoedSecret.clear();
  const std::string line = command + "\r\n";
  size_t sent = 0;
  TWatchdogGuard guard{Blocking};
  while (sent < line.size()) {
    ArmWatchdog("sending " + LastVerb);
    const long n = ControlSend(line.data() + sent, line.size() - sent);
    if (n < 0) {
      ReportSocketError();
      throw EControlSocketException();
    }
    if (n == 0) break;
    sent += static_cast<size_t>(n);
  }
}

// No honest reply comes near this (a long FEAT or HELP is a few KiB).
constexpr size_t kMaxReplyBytes = 1024 * 1024;

std::string TFTPThread::AwaitedReply() const {
  if (!LastVerb.empty()) return "the server's reply to " + LastVerb;
  return LastReplyLine.empty() ? "the server's greeting" : "the server's reply";
}

int TFTPThread::ReadReply() {
  // The answer to a data port asked ahead comes first, whatever is read next.
  if (PortReplyDue) ReadPortAhead();
  TReplyClassifier classifier;
  // Replies are short: a small chunk per recv() keeps the data buffer size out of this path.
  std::array<char, 4096> chunk;
  std::string line;
  ReplyLines.clear();
  // The time-out runs from the command, not from the last byte: a server that keeps sending
  // the lines of one reply does not keep the client waiting for ever.
  ArmWatchdog("waiting for " + AwaitedReply());
  TWatchdogGuard guard{Blocking};
  // A hostile or broken server's endless reply ends the connection, saying what it answered.
  const auto tooLong = [this](const std::string& what) {
    ReplyBuffer.Clear();
    PostError(WSAEMSGSIZE, AwaitedReply() + what);
    throw EControlSocketException();
  };
  size_t replyBytes = 0;
  for (;;) {
    TReplyFramer::TResult result;
    while ((result = ReplyBuffer.NextLine(line)) == TReplyFramer::TResult::Line) {
      replyBytes += line.size() + 2;
      if (replyBytes > kMaxReplyBytes) {
        tooLong(" was longer than " + std::to_string(kMaxReplyBytes >> 20) + " MiB");
      }
      if (!EchoedSecret.empty()) line = WithoutEchoedSecret(line, EchoedSecret);
      Log(line);
      // A hostile server's endless reply stays bounded: lines beyond a few hundred are only
      // logged.
      if (ReplyLines.size() < 512) ReplyLines.push_back(line);
      if (const int code = classifier.Feed(line); code > 0) {
        EchoedSecret.clear();
        LastReplyLine = line;
        ReportFinalLine(code, line);
        return code;
      }
    }
    if (result == TReplyFramer::TResult::TooLong) {
      tooLong(" had a line longer than " + std::to_string(kMaxReplyLine >> 10) + " KiB");
    }
    const long n = ControlRecv(chunk.data(), chunk.size());
    if (n > 0) {
      ReplyBuffer.Append(std::string_view(chunk.data(), static_cast<size_t>(n)));
    } else if (n == 0) {
      // The server closed the control connection: nothing more can come on it, so after the
      // log-on (which reports its own failure) the connection is over, not a command refused.
      SetLastSocketError(WSAECONNRESET);
      ReplyBuffer.Clear();
      if (LoggingOn) return 0;
      PostError(WSAECONNRESET, "the server closed the connection");
      throw EControlSocketException();
    } else {
      ReportSocketError();
      throw EControlSocketException();
    }
  }
}

void TFTPThread::ReportFinalLine(int code, const std::string& line) {
  if (code == 150 && DataSocket != -1 && !FileName.empty()) {
    if (auto size = ParseSizeReport(line, FileName)) {
      auto record = std::make_shared<TUpdateFileSizeEventData>();
      record->FileName = FileName;
      record->Size = *size;
      PostEvent(evFileSize, std::move(record));
    }
  }
  if (code == 257) {
    auto record = std::make_shared<TFolderEventData>();
    record->Path = ParseFolderReply(line);
    switch (Shared->CurrentRequest.load()) {
      case rqGetFolder:
        record->Kind = fkCurrent;
        break;
      case rqMakeFolder:
        record->Kind = fkCreated;
        break;
      case rqRemoveFolder:
        record->Kind = fkRemoved;
        break;
      default:
        record->Kind = fkChanged;
    }
    PostEvent(evFolder, std::move(record));
  }
}

bool TFTPThread::CommandWithFallback(const std::string& command, int expected) {
  SendCommand(command);
  int reply = ReadReply();
  if (reply == expected) return true;
  if (reply != 500 && reply != 502) return false;
  SendCommand("X" + command);
  reply = ReadReply();
  return reply == expected;
}

}  // namespace pelmar
