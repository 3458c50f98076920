// Data connections, active and passive, and the loop that moves bytes over one: progress
// reports, abort and errors.

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "engine/AsciiConversion.h"
#include "engine/Checksums.h"
#include "engine/EngineSettings.h"
#include "engine/FTPThread.h"
#include "engine/NumberFormat.h"
#include "engine/RequestArgs.h"
#include "platform/Numbers.h"
#include "platform/Tick.h"
#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

// Progress goes to the listeners at most this often.
constexpr int64_t kProgressIntervalMs = 700;

}  // namespace

bool TFTPThread::PassiveMode() {
  return EngineSettings().PassiveMode.load();
}

bool TFTPThread::PrepareDataPort(const std::string& ahead) {
  PassiveData = false;
  CommandSentAhead = false;
  if (DataSocket != -1) {
    ReportSocketError();
    CloseSocket(DataSocket);
    return false;
  }
  if (EngineSettings().PassiveMode.load()) return OpenPassiveData(ahead);
  ReadTimeAskedAhead();
  TNetAddress local;
  if (!SocketLocalName(Control(), local)) {
    ReportSocketError();
    return false;
  }
  // PORT carries an IPv4 address only; an IPv6 control connection announces with EPRT.
  const bool v6 = local.IsV6() && local.V4() == 0;
  DataSocket = SocketCreate(v6 ? AF_INET6 : AF_INET);
  if (CheckSocketError(DataSocket < 0, DataSocket)) return false;
  if (CheckSocketError(!SocketBind(DataSocket, TNetAddress::Any(v6 ? AF_INET6 : AF_INET)),
                       DataSocket)) {
    return false;
  }
  TNetAddress listening;
  if (CheckSocketError(!SocketLocalName(DataSocket, listening), DataSocket)) return false;
  if (CheckSocketError(!SocketListen(DataSocket, 1), DataSocket)) return false;
  const unsigned port = listening.Port();
  char command[128];
  if (v6) {
    std::snprintf(command, sizeof command, "EPRT |2|%s|%u|", local.HostText().c_str(), port);
  } else {
    const uint32_t address = local.V4();
    std::snprintf(command, sizeof command, "PORT %u,%u,%u,%u,%u,%u", (address >> 24) & 255,
                  (address >> 16) & 255, (address >> 8) & 255, address & 255, port / 256,
                  port % 256);
  }
  SendCommand(command);
  if (ReadReply() != 200) {
    ReportSocketError();
    CloseSocket(DataSocket);
    HintPassiveMode();
    return false;
  }
  return true;
}

void TFTPThread::HintPassiveMode() {
  Log("The server could not open the data connection; passive mode (Preferences, Connection) "
      "may help.");
}

void TFTPThread::DrainCommandSentAhead() {
  if (!CommandSentAhead) return;
  CommandSentAhead = false;
  // A 1xx (the server opened its side) is followed by the final reply.
  if (ReadReply() / 100 == 1) ReadReply();
}

bool TFTPThread::OpenPassiveData(const std::string& ahead) {
  // The data connection goes to the address the control connection reached, whatever the
  // server announces: a server behind NAT names its private address, and a hostile one
  // could name a third machine.
  TNetAddress server;
  if (!SocketPeerName(Control(), server)) {
    ReportSocketError();
    return false;
  }
  // PASV names an IPv4 address only; an IPv6 server must answer EPSV.
  const bool v6 = server.IsV6() && server.V4() == 0;
  if (UseReadyPort(server, ahead)) return true;
  if (AbortState.Aborted) return false;
  uint16_t port = 0;
  if (!EpsvRefused) {
    SendCommand("EPSV");
    if (EpsvProven && !ahead.empty()) {
      SendCommand(ahead);
      CommandSentAhead = true;
    }
    ReadTimeAskedAhead();
    const int reply = ReadReply();
    if (reply == 229) {
      const auto parsed = ParseEpsvReply(LastReplyLine);
      if (!parsed) {
        PostError(0, "Unreadable passive mode reply: " + LastReplyLine);
        DrainCommandSentAhead();
        return false;
      }
      port = *parsed;
    } else {
      // The command behind it had no data port: its answer is read and it goes again later.
      const std::string refusal = LastReplyLine;
      DrainCommandSentAhead();
      if (reply / 100 == 5 && !v6) {
        EpsvRefused = true;  // ask with PASV from now on
      } else {
        PostError(0, "Passive mode refused: " + refusal);
        return false;
      }
    }
  }
  if (port == 0) {
    SendCommand("PASV");
    ReadTimeAskedAhead();
    if (ReadReply() != 227) {
      PostError(0, "Passive mode refused: " + LastReplyLine);
      return false;
    }
    const auto parsed = ParsePasvReply(LastReplyLine);
    if (!parsed) {
      PostError(0, "Unreadable passive mode reply: " + LastReplyLine);
      return false;
    }
    if (parsed->Address != server.V4()) {
      const TNetAddress named = TNetAddress::FromV4(parsed->Address, 0);
      Log("The server named " + named.HostText() + " for passive mode; connecting to " +
          server.HostText() + ", the server's own address, instead");
    }
    port = parsed->Port;
  }
  if (!ConnectDataPort(server, port, true)) {
    DrainCommandSentAhead();
    return false;
  }
  PassiveData = true;
  if (port != 0 && !EpsvRefused) EpsvProven = true;
  return true;
}

bool TFTPThread::ConnectDataPort(const TNetAddress& server, uint16_t port, bool report) {
  DataSocket = SocketCreate(server.Family());
  if (CheckSocketError(DataSocket < 0, DataSocket)) return false;
  TNetAddress target = server;
  target.SetPort(port);
  ArmWatchdog("connecting to the server's data port " + std::to_string(port));
  const bool connected = SocketConnect(Blocking, DataSocket, target);
  Blocking.DisarmWatchdog();
  if (connected) return true;
  if (report || AbortState.Aborted) return !CheckSocketError(true, DataSocket);
  Log("The data port " + std::to_string(port) + " asked for earlier is gone; asking again");
  ::close(DataSocket);
  DataSocket = -1;
  return false;
}

bool TFTPThread::AcceptDataConnection() {
  if (PassiveData) return DataSocket != -1;
  TNetAddress server;
  const bool knowServer = SocketPeerName(Control(), server);
  ArmWatchdog("waiting for the server's data connection for " + LastVerb);
  for (;;) {
    TNetAddress peer;
    int accepted = SocketAccept(Blocking, DataSocket, &peer);
    if (accepted < 0) {
      const bool timedOut = Blocking.WatchdogExpired() && !AbortState.Aborted;
      Blocking.DisarmWatchdog();
      CheckSocketError(true, DataSocket);
      if (timedOut) HintPassiveMode();
      return false;
    }
    // Only the server may connect to the data port; anyone else could inject or steal data.
    if (!knowServer || peer.SameHost(server)) {
      Blocking.DisarmWatchdog();
      CloseSocket(DataSocket);
      DataSocket = accepted;
      return true;
    }
    Log("Refused data connection from " + peer.HostText());
    ::close(accepted);
  }
}

bool TFTPThread::ReportCheck(int64_t count, int64_t& lastReport) {
  // An abort (Skip, Cancel) is looked for after every block: on a fast connection the data
  // never stops long enough for the socket wait to notice it, and a progress interval is
  // hundreds of megabytes there.
  Blocking.TakeAbort();
  const int64_t now = GetTickCount();
  const bool due = (now - lastReport) / kProgressIntervalMs != 0;
  if (AbortState.Aborted || (due && Blocking.WatchdogExpired())) {
    DataFailed = true;
    SetLastSocketError(WSAEINTR);
    AbortOrError();
    return true;
  }
  if (!due) return false;
  AbortState.WatchdogStart = now;
  lastReport = now;
  PostProgress(pkProgress, count);
  return false;
}

void TFTPThread::PostProgress(uint8_t kind, int64_t count, bool completed) {
  auto record = std::make_shared<TProgressData>();
  record->Kind = kind;
  record->IsFile = IsFileTransfer;
  record->Count = count;
  record->Completed = completed ? 1 : 0;
  record->ServerTime = kind == pkDone ? DoneServerTime : -1;
  PostEvent(evProgress, std::move(record));
}

void TFTPThread::AbortOrError() {
  if (LastSocketError() == WSAEINTR && AbortState.Aborted) {
    SendCommand("ABOR");
    CloseSocket(DataSocket);
    // 426 (the transfer's) comes before ABOR's own 226. A 225 first ("no transfer in
    // progress") answers ABOR alone: the transfer command's reply, which would have come
    // before it, will not come at all (a server aborting before its first byte).
    TransferUnanswered = ReadReply() == 225;
    PostEvent(evAborted);
  } else {
    ReportSocketError();
  }
}

int64_t TFTPThread::DataLoop(TTransferStream& stream, bool receive) {
  // Without a data connection nothing moved, whatever the server's final reply says (it may
  // have sent the file to whoever connected first).
  if (!AcceptDataConnection()) {
    DataFailed = true;
    return 0;
  }
  if (!HandshakeData()) {
    DataFailed = true;
    if (AbortState.Aborted) AbortOrError();
    CloseSocket(DataSocket);
    return 0;
  }
  int64_t count = stream.Position();
  PostProgress(pkStart, count);
  ArmWatchdog((receive ? "waiting for data of " : "sending data of ") + LastVerb);
  int64_t lastReport = GetTickCount();
  const int bufferSize = std::max(
      receive ? EngineSettings().FTPRecvBufSize.load() : EngineSettings().FTPSendBufSize.load(), 1);
  std::vector<char> buffer(static_cast<size_t>(bufferSize));
  // Files sent as text (TYPE A) change their line ends on the way; listings stay as received.
  const bool ascii = IsFileTransfer && TypeLetter == 'A';
  TAsciiToLocal toLocal;
  TLocalToAscii toWire;
  std::string converted;
  auto write = [&](const char* data, size_t length) {
    if (stream.Write(data, length)) return true;
    // Closing the data connection makes the server end the transfer with an error reply; a
    // server that had sent everything already may still confirm it, which must not count.
    PostError(stream.ErrorCode(), stream.ErrorText());
    DataFailed = true;
    return false;
  };
  // One block received (n > 0), the end (0) or a broken connection (< 0): false to stop.
  auto take = [&](const char* data, long n) {
    if (n < 0) {
      // A broken data connection loses the rest of the file even when the server, having
      // handed everything to its socket, confirms the transfer.
      DataFailed = true;
      AbortOrError();
      return false;
    }
    if (n == 0) {
      converted.clear();
      toLocal.Finish(converted);
      if (!converted.empty()) write(converted.data(), converted.size());
      return false;
    }
    if (ascii) {
      converted.clear();
      toLocal.Convert(data, static_cast<size_t>(n), converted);
      if (!write(converted.data(), converted.size())) return false;
    } else if (!write(data, static_cast<size_t>(n))) {
      return false;
    }
    count += n;
    return !ReportCheck(count, lastReport);
  };
  bool running = true;
  if (receive) {
    // What came before the 150 (ReadDataAhead), and how that reading ended.
    if (!DataAhead.empty()) running = take(DataAhead.data(), static_cast<long>(DataAhead.size()));
    if (running && DataAheadError != 0) {
      SetLastSocketError(DataAheadError);
      running = take(nullptr, -1);
    }
    if (running && DataAheadEnded) running = take(nullptr, 0);
    std::string().swap(DataAhead);
  }
  while (running) {
    if (receive) {
      const long n = DataRecv(buffer.data(), buffer.size());
      running = take(buffer.data(), n);
    } else {
      const long got = stream.Read(buffer.data(), buffer.size());
      if (got < 0) {
        PostError(0, stream.ErrorText());
        DataFailed = true;
      }
      if (got <= 0) break;
      const char* data = buffer.data();
      size_t length = static_cast<size_t>(got);
      if (ascii) {
        converted.clear();
        toWire.Convert(data, length, converted);
        data = converted.data();
        length = converted.size();
      }
      size_t sent = 0;
      while (sent < length) {
        const long n = DataSend(data + sent, length - sent);
        if (n < 0) {
          DataFailed = true;
          AbortOrError();
          running = false;
          break;
        }
        sent += static_cast<size_t>(n);
        count += n;
        if (ReportCheck(count, lastReport)) {
          running = false;
          break;
        }
      }
    }
  }
  Blocking.DisarmWatchdog();
  CloseSocket(DataSocket);
  return count;
}

}  // namespace pelmar
