// What a passive connection sends or reads before its turn, so that round trips overlap: the
// next data port asked for as a download's data ends, and a download's data read while its 150
// is still on the way.

#include <algorithm>
#include <utility>

#include "engine/Exceptions.h"
#include "engine/FTPThread.h"
#include "engine/WorkerShared.h"
#include "platform/Tick.h"
#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

// How long a data port asked for ahead is taken to be still open: servers stop listening on a
// port nobody came to after some time (vsftpd after a minute, others sooner).
constexpr int64_t kReadyPortMs = 5000;

// The most data read ahead of the 150; beyond it the data waits in the socket.
constexpr size_t kDataAheadLimit = size_t{1} << 20;
constexpr size_t kDataAheadChunk = size_t{64} << 10;

}  // namespace

bool TFTPThread::MayAskPortAhead(bool receive) const {
  // Not behind an upload: a server may take an EPSV that comes while the upload's last bytes
  // are still arriving as the end of the upload.
  return receive && PassiveData && EpsvProven && !EpsvRefused && Shared->PortAhead.load() &&
         PassiveMode();
}

void TFTPThread::AskPortAhead() {
  // The transfer's own command stays the one a time-out names.
  const std::string verb = LastVerb;
  SendCommand("EPSV");
  LastVerb = verb;
  ReadyPortTicks = GetTickCount();
  PortAskedAhead = true;
}

void TFTPThread::PortAnswersNext() {
  if (std::exchange(PortAskedAhead, false)) PortReplyDue = true;
}

int TFTPThread::FinalTransferReply() {
  const int reply = ReadReply();
  if (!std::exchange(PortAskedAhead, false)) return reply;
  // Servers answer in order, so EPSV's answer follows; one that read EPSV during the transfer
  // answers it first, and 229 is never a transfer's final reply.
  if (reply == 229) {
    TakeReadyPort(reply);
    return ReadReply();
  }
  PortReplyDue = true;
  return reply;
}

void TFTPThread::ReadPortAhead() {
  PortReplyDue = false;
  TakeReadyPort(ReadReply());
}

void TFTPThread::TakeReadyPort(int reply) {
  ReadyPort = 0;
  if (reply != 229) return;  // refused after all: the next transfer asks as usual
  if (const auto port = ParseEpsvReply(LastReplyLine)) ReadyPort = *port;
}

bool TFTPThread::UseReadyPort(const TNetAddress& server, const std::string& ahead) {
  if (!PortReplyDue && ReadyPort == 0) return false;
  // While the server still listens there (it gives up on a port nobody comes to), the command
  // goes before the port's answer is read, as it would behind an EPSV.
  const bool fresh = GetTickCount() - ReadyPortTicks < kReadyPortMs;
  if (fresh && !ahead.empty()) {
    SendCommand(ahead);
    CommandSentAhead = true;
  }
  if (PortReplyDue) ReadPortAhead();
  const uint16_t port = std::exchange(ReadyPort, 0);
  // The connection is made before the answer to an MDTM sent ahead is read (the caller reads
  // it next): the server may be waiting for it already.
  if (fresh && port != 0 && ConnectDataPort(server, port, false)) {
    PassiveData = true;
    return true;
  }
  // The command had no data port: its refusal is read, and it goes again behind a new EPSV.
  ReadTimeAskedAhead();
  if (!AbortState.Aborted) DrainCommandSentAhead();
  return false;
}

void TFTPThread::ReadDataAhead(bool askPort) {
  DataAhead.clear();
  DataAheadEnded = false;
  DataAheadError = 0;
  PortAskedAhead = false;
  // Plain connections only: a TLS layer may hold a reply already taken off the socket, and a
  // protected data connection's handshake comes after the 150. Where a reply is already
  // buffered, it is read first.
  if (!PassiveData || DataSocket < 0 || ControlTls || ProtectData || ReplyBuffer.Pending() != 0)
    return;
  ArmWatchdog("waiting for " + AwaitedReply());
  while (DataAhead.size() < kDataAheadLimit) {
    // The data first where both are ready: what is on its way is taken whole, up to the limit.
    const int ready = WaitForEitherReadable(Blocking, DataSocket, Control());
    if (ready < 0) {
      // Aborted or timed out while the reply was awaited, as ReadReply would have been.
      ReportSocketError();
      Blocking.DisarmWatchdog();
      throw EControlSocketException();
    }
    if (ready == 1) break;  // the reply comes first
    const size_t held = DataAhead.size();
    DataAhead.resize(held + kDataAheadChunk);
    const long n = SocketRecv(Blocking, DataSocket, DataAhead.data() + held, kDataAheadChunk);
    DataAhead.resize(held + static_cast<size_t>(std::max(n, 0L)));
    if (n < 0) {
      // The data loop reports it once the reply has said whether the transfer took place.
      DataAheadError = LastSocketError();
      break;
    }
    if (n == 0) {
      DataAheadEnded = true;
      if (askPort) AskPortAhead();
      break;
    }
  }
  Blocking.DisarmWatchdog();
}

}  // namespace pelmar
