// Single-command requests on the server's folders and files. Their success is not reported:
// the user sees the replies in the log, and 257 replies become folder events.

#include "engine/Checksums.h"
#include "engine/EventRecords.h"
#include "engine/FTPThread.h"
#include "engine/RequestArgs.h"
#include "platform/DateTime.h"

namespace pelmar {

void TFTPThread::ServeSimpleCommand(uint8_t kind, const TArgs& args) {
  const std::string& first = RequestArg(args, 0);
  switch (kind) {
    case rqGetFolder:
      CommandWithFallback("PWD", 257);
      break;
    case rqChangeFolder:
      CommandWithFallback("CWD " + first, 250);
      break;
    case rqDelete:
      SendCommand("DELE " + first);
      ReadReply();
      break;
    case rqRename:
      SendCommand("RNFR " + first);
      if (ReadReply() == 350) {
        SendCommand("RNTO " + RequestArg(args, 1));
        ReadReply();
      }
      break;
    case rqMakeFolder:
      CommandWithFallback("MKD " + first, 250);
      break;
    case rqRemoveFolder:
      CommandWithFallback("RMD " + first, 250);
      break;
    case rqKeepAlive:
      QuietLog = 1;
      SendCommand("NOOP");
      ReadReply();
      QuietLog = 0;
      break;
    case rqChangeMode: {
      const std::string arguments = first + " " + RequestArg(args, 1);
      SendCommand("SITE CHMOD " + arguments);
      // Servers answer a successful SITE CHMOD with 200 as often as with 250; only a refusal
      // is worth the bare CHMOD that some servers know instead.
      if (ReadReply() / 100 != 2) {
        SendCommand("CHMOD " + arguments);
        ReadReply();
      }
      break;
    }
    case rqChecksum: {
      auto record = std::make_shared<TChecksumEventData>();
      record->FileName = first;
      if (!HashCommand.empty()) {
        SendCommand(HashCommand + " " + first);
        ReadReply();
        if (const auto digest = DigestInReply(LastReplyLine, HashAlgorithm)) {
          record->Algorithm = HashAlgorithm;
          record->Digest = *digest;
        }
      }
      PostEvent(evChecksum, std::move(record));
      break;
    }
    case rqFileTime: {
      auto record = std::make_shared<TFileTimeEventData>();
      record->FileName = first;
      if (HasMdtm) record->Time = AskServerTime(first);
      PostEvent(evFileTime, std::move(record));
      break;
    }
    default:
      break;
  }
}

int64_t TFTPThread::AskServerTime(const std::string& path) {
  SendCommand("MDTM " + path);
  return ReadServerTime();
}

void TFTPThread::ReadTimeAskedAhead() {
  if (!TimeAskedAhead) return;
  TimeAskedAhead = false;
  TimeAnsweredAhead = ReadServerTime();
}

int64_t TFTPThread::ReadServerTime() {
  // "213 20200115120000": UTC. Anything else (500, 550, a time that does not read) gives none.
  if (ReadReply() != 213) return -1;
  const std::string_view line = LastReplyLine;
  const size_t blank = line.find(' ');
  const auto time =
      blank == std::string_view::npos ? std::nullopt : ParseFtpTimestamp(line.substr(blank + 1));
  if (!time) {
    Log("The server's time does not read as a date and is not used: " + LastReplyLine);
    return -1;
  }
  return static_cast<int64_t>(*time);
}

}  // namespace pelmar
