// One connection's life: connect attempts, log-on (direct or through a firewall), the resume
// probe and QUIT.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

#include "engine/ConnectRequest.h"
#include "engine/EngineSettings.h"
#include "engine/Exceptions.h"
#include "engine/FTPThread.h"
#include "engine/FirewallCommands.h"
#include "engine/RequestArgs.h"
#include "platform/AsciiText.h"

namespace pelmar {
namespace {

const auto& Arg = RequestArg;

// Certificates are trusted per host; "Example.COM" and "example.com" are one host.
std::string LowercaseHost(std::string host) {
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return host;
}

// Keeps the log quiet for the lifetime of the guard.
struct TQuietGuard {
  uint8_t& Quiet;
  explicit TQuietGuard(uint8_t& quiet) : Quiet(quiet) { Quiet = 1; }
  ~TQuietGuard() { Quiet = 0; }
};

}  // namespace

void TFTPThread::ServeConnect(uint8_t kind, const TArgs& args) {
  const TConnectRequest request = TConnectRequest::FromArgs(args);
  Sftp.reset();
  if (request.Server.Protocol == prSftp) {
    ServeSftpConnect(kind, request.Server);
    return;
  }
  const std::string& host = request.Server.Host;
  const std::string port = std::to_string(request.Server.Port);
  const std::string& user = request.Server.User;
  const std::string& password = request.Server.Password;
  const std::string& account = request.Server.Account;
  struct TLogOnGuard {
    bool& Flag;
    explicit TLogOnGuard(bool& flag) : Flag(flag) { Flag = true; }
    ~TLogOnGuard() { Flag = false; }
  } logOnGuard(LoggingOn);
  int attempt = 1;
  bool loggedOn = false;
  TypeLetter = 0;
  EpsvRefused = false;
  EpsvProven = false;
  CommandSentAhead = false;
  TimeAskedAhead = false;
  PortReplyDue = false;
  PortAskedAhead = false;
  ReadyPort = 0;
  HasMfmt = false;
  HasMdtm = false;
  HasMlst = false;
  MlsdTakesPath = true;
  HasSize = false;
  HashCommand.clear();
  HashAlgorithm.clear();
  NoRetry = false;
  Encryption = request.Server.Encryption;
  TlsHost = LowercaseHost(host);
  TlsPort = request.Server.Port;
  if (kind == rqConnectViaFirewall && Encryption != enPlain) {
    // The firewall's own dialogue comes first and in clear; no password is risked on it.
    PostError(0, "FTP over TLS cannot go through a firewall; nothing was sent");
    PostEvent(evDisconnected);
    PostEvent(evConnectFailed);
    return;
  }
  do {
    char line[64];
    std::snprintf(line, sizeof line, ", attempt %d", attempt);
    Log("Attempting to connect to " + host + line + "\r\n");
    if (kind == rqConnect) {
      if (!ConnectSocket(host, port)) {
        break;
      }
      try {
        loggedOn = Login(user, password, account);
      } catch (const EControlSocketException& e) {
        if (*e.what() != '\0') Log(e.what());
      }
    } else {
      if (!ConnectSocket(request.FirewallHost, std::to_string(request.FirewallPort))) {
        break;
      }
      loggedOn = FirewallLogin(request.FirewallType, request.FirewallUser, request.FirewallPassword,
                               host, port, user, password, account);
    }
    ++attempt;
    const int retries = EngineSettings().FTPRetries.load();
    if (loggedOn || AbortState.Aborted || NoRetry || (retries >= 1 && attempt > retries)) break;
  } while (true);
  if (loggedOn && !AbortState.Aborted) {
    ProbeResume();
    PostEvent(evLoggedIn);
  } else {
    CloseControlSocket();
    PostEvent(evDisconnected);
    PostEvent(evConnectFailed);
  }
}

void TFTPThread::SendPassword(const std::string& password) {
  {
    TQuietGuard quiet(QuietLog);
    SendCommand("PASS " + password);
  }
  Log("PASS xxxxx");
  // Some servers repeat it in their answer.
  EchoedSecret = password;
}

bool TFTPThread::Login(const std::string& user, const std::string& password,
                       const std::string& account) {
  if (Encryption == enImplicitTls) StartTls(true);
  int reply = ReadReply();
  if (reply != 220) throw EControlSocketException("Failed to Connect");
  PostEvent(evConnected);
  if (Encryption == enExplicitTls || Encryption == enExplicitIfOffered) StartTls(false);
  if (!user.empty()) SendCommand("USER " + user);
  reply = ReadReply();
  if (reply == 331) {
    SendPassword(password);
    reply = ReadReply();
  }
  if (reply == 332) {
    SendCommand("ACCT " + account);
    reply = ReadReply();
  }
  if (reply == 331) {
    SendPassword(password);
    reply = ReadReply();
  }
  if (reply != 230) throw EControlSocketException("Failed to Log in to Host");
  if (ControlTls) ProtectDataConnections();
  return true;
}

bool TFTPThread::FirewallLogin(int firewallType, const std::string& firewallUser,
                               const std::string& firewallPassword, const std::string& host,
                               const std::string& port, const std::string& user,
                               const std::string& password, const std::string& account) {
  const TFirewallData& entry = FirewallCommandFor(firewallType);
  const std::string target = host + ":" + port;
  if (entry.LoginFirst) {
    // The firewall greets first; that greeting is not the answer to our USER.
    if (ReadReply() != 220) throw EControlSocketException("Failed to Log in to Firewall");
    SendCommand("USER " + firewallUser);
    int reply = ReadReply();
    if (reply == 331) {
      SendPassword(firewallPassword);
      reply = ReadReply();
    }
    if (reply != 230) throw EControlSocketException("Failed to Log in to Firewall");
  }
  if (entry.FirstCommand[0] != '\0') {
    SendCommand(FormatFirewallCommand(entry.FirstCommand, target, ""));
    if (ReadReply() / 100 != 2) throw EControlSocketException("Failed to Log in to Firewall");
  }
  SendCommand(FormatFirewallCommand(entry.UserCommand, user, target));
  return Login("", password, account);
}

void TFTPThread::ProbeResume() {
  // FEAT first: a server that names REST STREAM resumes, and the probe, two to six round trips
  // on every connection, is left out.
  const TFeatures features = AskFeatures();
  if (features.RestStream) {
    Shared->ServerCanResume = 1;
  } else {
    TQuietGuard quiet(QuietLog);
    SendCommand("REST 100");
    bool canResume = ReadReply() == 350;
    SendCommand("REST 0");
    ReadReply();
    if (!canResume) {
      // Some servers (ProFTPD, pyftpdlib) refuse REST while the connection is in text mode,
      // which it is right after log-on, although they resume binary transfers. Ask once more
      // in binary mode and put text mode back, so listings keep the type they had.
      SendCommand("TYPE I");
      if (ReadReply() == 200) {
        SendCommand("REST 100");
        canResume = ReadReply() == 350;
        if (canResume) {
          SendCommand("REST 0");
          ReadReply();
        }
        SendCommand("TYPE A");
        ReadReply();
      }
    }
    Shared->ServerCanResume = canResume ? 1 : 0;
  }
  UseFeatures(features);
  Log(Shared->ServerCanResume.load() ? "\r\nServer can resume broken downloads\r\n"
                                     : "\r\nServer unable to resume broken downloads\r\n");
}

namespace {

// Whether this run has not yet said how a site's files are checked: once per site, not once
// per connection (the queue logs on to one site several times).
bool FirstTellingOfChecks(const std::string& host, int port) {
  static std::mutex guard;
  static std::set<std::pair<std::string, int>> told;
  const std::lock_guard lock(guard);
  return told.emplace(host, port).second;
}

}  // namespace

void TFTPThread::ChooseChecksum(const std::string& hashList,
                                const std::vector<std::string>& xCommands) {
  // The strongest the server has: HASH with SHA-256, SHA-1 or MD5, else the X commands.
  std::string upper = hashList;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* algorithm : {"SHA-256", "SHA-1", "MD5"}) {
    const size_t at = upper.find(algorithm);
    if (at == std::string::npos) continue;
    const size_t end = at + std::string_view(algorithm).size();
    if (end < upper.size() && upper[end] != ';' && upper[end] != '*')
      continue;  // "SHA-1" in "SHA-1x"
    // The one marked "*" is in use; another is chosen with OPTS HASH.
    if (end >= upper.size() || upper[end] != '*') {
      SendCommand(std::string("OPTS HASH ") + algorithm);
      if (ReadReply() / 100 != 2) continue;
    }
    HashCommand = "HASH";
    HashAlgorithm = algorithm;
    return;
  }
  static const std::pair<const char*, const char*> kX[] = {
      {"XSHA256", "SHA-256"}, {"XSHA1", "SHA-1"}, {"XMD5", "MD5"}, {"XCRC", "CRC32"}};
  for (const auto& [command, algorithm] : kX) {
    if (std::find(xCommands.begin(), xCommands.end(), command) != xCommands.end()) {
      HashCommand = command;
      HashAlgorithm = algorithm;
      return;
    }
  }
}

TFTPThread::TFeatures TFTPThread::AskFeatures() {
  TFeatures features;
  SendCommand("FEAT");
  // Anything but the feature list (500 and the like) means the server names none.
  if (ReadReply() != 211) return features;
  for (const std::string& line : ReplyLines) {
    // Feature lines start with a blank; the first and last lines carry the code.
    const size_t start = line.find_first_not_of(' ');
    const size_t end = line.find_last_not_of(" \t");
    if (start == 0 || start == std::string::npos) continue;
    const std::string_view feature(line.data() + start, end + 1 - start);
    if (EqualsIgnoringCase(feature, "UTF8")) features.Utf8 = true;
    if (EqualsIgnoringCase(feature, "REST STREAM")) features.RestStream = true;
    if (EqualsIgnoringCase(feature, "MFMT")) HasMfmt = true;
    if (EqualsIgnoringCase(feature, "MDTM")) HasMdtm = true;
    if (EqualsIgnoringCase(feature, "SIZE")) HasSize = true;
    if (EqualsIgnoringCase(feature.substr(0, 5), "HASH "))
      features.HashList = std::string(feature.substr(5));
    for (const char* x : {"XSHA256", "XSHA1", "XMD5", "XCRC"}) {
      if (EqualsIgnoringCase(feature, x)) features.XCommands.emplace_back(x);
    }
    // "MLST type*;size*;modify*;..." names the facts; MLSD comes with it.
    if (EqualsIgnoringCase(feature.substr(0, 4), "MLST")) {
      HasMlst = true;
      if (feature.size() > 5) features.MlstFacts = std::string(feature.substr(5));
    }
  }
  return features;
}

void TFTPThread::UseFeatures(const TFeatures& features) {
  if (features.Utf8) {
    // Names stay bytes on the wire either way; some servers send UTF-8 names only after this.
    SendCommand("OPTS UTF8 ON");
    ReadReply();
  }
  ChooseChecksum(features.HashList, features.XCommands);
  if (EngineSettings().VerifyTransfers.load() && FirstTellingOfChecks(TlsHost, TlsPort)) {
    Log(HashCommand.empty()
            ? "\r\nThe server offers no checksum: files are checked by their size only\r\n"
            : "\r\nFiles are checked by their " + HashAlgorithm + " (" + HashCommand + ")\r\n");
  }
  // Facts a server offers but does not send unasked (pyftpdlib's unix.mode) are asked for.
  if (const std::string wanted = WantedMlstFacts(features.MlstFacts); !wanted.empty()) {
    SendCommand("OPTS MLST " + wanted);
    ReadReply();
  }
}

void TFTPThread::ServeQuit() {
  SendCommand("QUIT");
  ReadReply();
  CloseSocket(DataSocket);
  CloseControlSocket();
  PostEvent(evDisconnected);
}

}  // namespace pelmar
