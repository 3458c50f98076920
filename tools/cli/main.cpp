// pelmar-cli: a command-line FTP client on Pelmar's engine, for scripts and benchmarks.

#include <sys/stat.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CliSession.h"
#include "Credentials.h"
#include "FtpUrl.h"
#include "Mirror.h"
#include "TerminalText.h"
#include "TreeTransfer.h"
#include "engine/CertificateTrust.h"
#include "engine/EngineHooks.h"
#include "engine/EngineSettings.h"
#include "engine/TransferStreams.h"
#include "engine/WorkerRegistry.h"
#include "listing/ListingPass.h"
#include "settings/DataFolder.h"
#include "settings/Preferences.h"
#include "transfers/TransferQueue.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: pelmar-cli [options] ls URL\n"
    "       pelmar-cli [options] get URL LOCALPATH\n"
    "       pelmar-cli [options] put LOCALPATH URL\n"
    "       pelmar-cli [options] mirror URL LOCALFOLDER | mirror LOCALFOLDER URL\n"
    "URL: ftp://[user[:password]@]host[:port]/path (no user means anonymous); ftpes:// for\n"
    "     explicit FTP over TLS, ftps:// for implicit FTP over TLS (port 990); sftp:// for\n"
    "     SFTP (port 22; keys from ssh-agent, --identity or ~/.ssh, then a password;\n"
    "     ~/.ssh/config and ~/.ssh/known_hosts are used)\n"
    "Without a password in the URL: --password-file, else ~/.netrc (used only when no one\n"
    "but its owner can read it), else a question on the terminal.\n"
    "options:\n"
    "  --raw              ls: print the listing as the server sent it\n"
    "  -r                 get/put: whole folders, through the transfer queue\n"
    "  --existing MODE    -r: files already at the destination: ask, replace, skip or resume\n"
    "                     (ask: on a terminal; without one they are left as they are)\n"
    "  --parallel N       -r: files moved at once, each on its own connection, 1 to 10\n"
    "                     (default: the preferences, 2)\n"
    "  --resume           continue an interrupted transfer\n"
    "  --delete           mirror: delete what the source no longer has, after the copies;\n"
    "                     nothing in a folder where a listing or a copy failed\n"
    "  --max-delete N     mirror: delete nothing when more than N entries would go (a\n"
    "                     folder's contents counted); the exit status is then 1\n"
    "  --ascii            mirror: send files the preferences name as text (by default\n"
    "                     .txt, .htm, ...) in text mode, comparing them by time only;\n"
    "                     without it mirror sends everything in binary\n"
    "  --time-offset H:MM how far the server's clock is ahead of this computer's, for\n"
    "                     servers that list with LIST (-5:00, +5:30); mirror finds it from\n"
    "                     one recent file's MDTM when it is not given\n"
    "  --verify           compare each file's checksum with the server's where it offers one\n"
    "                     (HASH, XSHA256, XSHA1, XMD5 or XCRC; the default)\n"
    "  --no-verify        do not\n"
    "  --dry-run          mirror: print what would be copied and deleted, change nothing\n"
    "  --checksum         mirror: files of the same size are compared by checksum, not by\n"
    "                     time, where the server computes one\n"
    "  --no-times         files keep the time of the transfer: by default a download gets\n"
    "                     the server's time (MDTM; -r: the listing's) and an upload gives\n"
    "                     the server's copy the local time where the server has MFMT\n"
    "  --passive          data connections to the server's port (EPSV, else PASV; the\n"
    "                     default unless the preferences say otherwise)\n"
    "  --active           data connections from the server to us (PORT)\n"
    "  --tls MODE         explicit (AUTH TLS, required), auto (TLS when offered) or implicit\n"
    "  --trust SHA256     accept the server certificate with this fingerprint although it\n"
    "                     failed verification, or the SSH host key SHA256:... that\n"
    "                     known_hosts does not hold (without a terminal nothing else is\n"
    "                     accepted)\n"
    "  --identity FILE    sftp: offer this private key after the agent's keys\n"
    "  --password-file F  the password is the first line of F (- for standard input)\n"
    "  --timeout SECONDS  time a network step may take (default: the preferences, 90)\n"
    "  --retries N        connection attempts, 0 for no limit (default: the preferences, 3)\n"
    "  -v                 print the FTP dialogue on stderr\n"
    "  --version          print the version\n"
    "Preferences (transfer mode and ASCII extensions for get, put and -r, firewall, ...) are\n"
    "read from pelmar.ini in $PELMAR_HOME, else $XDG_CONFIG_HOME/pelmar, else\n"
    "~/.config/pelmar.\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "pelmar-cli: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int Failed(const std::string& why) {
  std::fprintf(stderr, "pelmar-cli: %s\n", pelmar::TerminalText(why).c_str());
  return kExitFailed;
}

// "-5:00", "+5:30", "2": hours and minutes the server's clock is ahead, as minutes.
std::optional<int> ParseTimeOffset(const std::string& text) {
  size_t at = 0;
  int sign = 1;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    sign = text[0] == '-' ? -1 : 1;
    at = 1;
  }
  const size_t colon = text.find(':', at);
  const std::string hoursText = text.substr(at, colon == std::string::npos ? colon : colon - at);
  const std::string minutesText = colon == std::string::npos ? "0" : text.substr(colon + 1);
  const auto digits = [](const std::string& part) {
    return !part.empty() && part.size() <= 2 &&
           part.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!digits(hoursText) || !digits(minutesText)) return std::nullopt;
  const int hours = std::stoi(hoursText);
  const int minutes = std::stoi(minutesText);
  if (hours > 24 || minutes > 59 || hours * 60 + minutes > 24 * 60) return std::nullopt;
  return sign * (hours * 60 + minutes);
}

bool ParseCount(const std::string& text, int low, int high, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < low || parsed > high) return false;
  value = static_cast<int>(parsed);
  return true;
}

// One line per entry: kind, permissions, size, date, name. LIST times are the server's clock,
// `timeOffsetMinutes` ahead.
void PrintListing(const std::string& text, int timeOffsetMinutes) {
  pelmar::TListingHooks hooks;
  hooks.AddItem = [](const pelmar::TRemoteItem& item) {
    if (item.Name == "." || item.Name == "..") return;
    const char kind = (item.Attributes & pelmar::iaLink)     ? 'l'
                      : (item.Attributes & pelmar::iaFolder) ? 'd'
                                                             : '-';
    std::printf("%c%s %lld %s %s\n", kind, pelmar::PermissionLetters(item.Attributes).c_str(),
                static_cast<long long>(item.Size),
                pelmar::FormatDateTimeMinutes(item.Modified).c_str(),
                pelmar::TerminalText(item.Name).c_str());
  };
  hooks.Log = [](const std::string& line) {
    std::fprintf(stderr, "%s\n", pelmar::TerminalText(line).c_str());
  };
  pelmar::TListingPass pass;
  pass.TimeOffsetMinutes = timeOffsetMinutes;
  pass.ListingReceived(text, pelmar::Today(), hooks);
}

// An SSH host key that known_hosts does not hold, asked about as OpenSSH asks; "always" adds it
// to ~/.ssh/known_hosts.
pelmar::TTrustDecision AskAboutHostKey(const pelmar::TCertificateEventData& question) {
  const std::string& fingerprint = question.Certificate.Fingerprint;
  std::fprintf(stderr,
               "pelmar-cli: the authenticity of host %s port %d can't be established.\n"
               "  %s key fingerprint is %s.\n",
               pelmar::TerminalText(question.Host).c_str(), question.Port,
               pelmar::TerminalText(question.KeyType).c_str(), fingerprint.c_str());
  if (!::isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "pelmar-cli: refused (no terminal to ask; --trust %s accepts it)\n",
                 fingerprint.c_str());
    return pelmar::tdRefuse;
  }
  std::fprintf(stderr, "Trust it [a]lways (add it to known_hosts), [o]nce, or [N]o? ");
  char line[16] = {};
  if (!std::fgets(line, sizeof line, stdin)) return pelmar::tdRefuse;
  if (line[0] == 'a' || line[0] == 'A') return pelmar::tdTrustAlways;
  if (line[0] == 'o' || line[0] == 'O') return pelmar::tdTrustOnce;
  return pelmar::tdRefuse;
}

// A certificate that failed verification: accepted when --trust names it, else asked about
// on the terminal; refused without one.
pelmar::TTrustDecision AskOnTerminal(const pelmar::TCertificateEventData& question,
                                     const std::string& trusted) {
  const pelmar::TCertificateInfo& c = question.Certificate;
  if (!trusted.empty() && trusted == c.Fingerprint) return pelmar::tdTrustOnce;
  if (question.HostKey) return AskAboutHostKey(question);
  std::fprintf(stderr,
               "pelmar-cli: the certificate of %s port %d could not be verified: %s\n"
               "%s  subject:  %s\n  issuer:   %s\n  valid:    %s to %s\n  SHA-256:  %s\n",
               pelmar::TerminalText(question.Host).c_str(), question.Port,
               pelmar::TerminalText(c.Problem).c_str(),
               question.Changed ? "  WARNING: another certificate was trusted for this server "
                                  "before; someone may be intercepting the connection.\n"
                                : "",
               pelmar::TerminalText(c.Subject).c_str(), pelmar::TerminalText(c.Issuer).c_str(),
               c.ValidFrom.c_str(), c.ValidUntil.c_str(), c.Fingerprint.c_str());
  if (!::isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "pelmar-cli: refused (no terminal to ask; --trust %s accepts it)\n",
                 c.Fingerprint.c_str());
    return pelmar::tdRefuse;
  }
  std::fprintf(stderr, "Trust it [a]lways, [o]nce, or [N]o? ");
  char line[16] = {};
  if (!std::fgets(line, sizeof line, stdin)) return pelmar::tdRefuse;
  if (line[0] == 'a' || line[0] == 'A') return pelmar::tdTrustAlways;
  if (line[0] == 'o' || line[0] == 'O') return pelmar::tdTrustOnce;
  return pelmar::tdRefuse;
}

bool IsFtpAddress(const std::string& text) {
  for (const char* scheme : {"ftp://", "ftps://", "ftpes://", "sftp://"}) {
    if (text.rfind(scheme, 0) == 0) return true;
  }
  return false;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int RunCommand(int argc, char** argv) {
  using namespace pelmar;
  // The same preferences as the program's (time-out, retries, keep-alive, firewall, transfer
  // mode, ASCII extensions); options given here override them.
  if (const std::string error = Preferences().Load(PreferencesPath()); !error.empty()) {
    std::fprintf(stderr, "pelmar-cli: %s\n", error.c_str());
  }
  CertificateTrust().Load(DataFolder() + kTrustFileName);
  bool resume = false;
  bool verbose = false;
  bool raw = false;
  bool recursive = false;
  bool keepTimes = true;
  TMirrorRequest mirror;
  TExistingPolicy existing = TExistingPolicy::Ask;
  std::optional<TEncryption> tls;
  std::string trusted;
  std::string passwordFile;
  std::string identity;
  std::vector<std::string> words;
  std::vector<char*> wordArguments;  // where each word sits in argv
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    int value = 0;
    if (arg == "--resume") {
      resume = true;
    } else if (arg == "--verify" || arg == "--no-verify") {
      EngineSettings().VerifyTransfers = arg == "--verify";
    } else if (arg == "--delete") {
      mirror.DeleteExtra = true;
    } else if (arg == "--dry-run") {
      mirror.DryRun = true;
    } else if (arg == "--checksum") {
      mirror.ByChecksum = true;
    } else if (arg == "--ascii") {
      mirror.TextMode = true;
    } else if (arg == "--max-delete") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string text = argv[++i];
      if (!ParseCount(text, 0, 2000000000, value)) return Usage("bad --max-delete: " + text);
      mirror.MaxDelete = value;
    } else if (arg == "--time-offset") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string text = argv[++i];
      mirror.TimeOffsetMinutes = ParseTimeOffset(text);
      if (!mirror.TimeOffsetMinutes) return Usage("bad --time-offset (hours:minutes): " + text);
    } else if (arg == "--no-times") {
      keepTimes = false;
      EngineSettings().KeepTimes = false;
    } else if (arg == "--passive" || arg == "--active") {
      EngineSettings().PassiveMode = arg == "--passive";
    } else if (arg == "--raw") {
      raw = true;
    } else if (arg == "-r") {
      recursive = true;
    } else if (arg == "--existing") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string mode = argv[++i];
      if (mode == "ask")
        existing = TExistingPolicy::Ask;
      else if (mode == "replace")
        existing = TExistingPolicy::Replace;
      else if (mode == "skip")
        existing = TExistingPolicy::Skip;
      else if (mode == "resume")
        existing = TExistingPolicy::Resume;
      else
        return Usage("bad --existing: " + mode);
    } else if (arg == "--tls") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string mode = argv[++i];
      if (mode == "explicit")
        tls = enExplicitTls;
      else if (mode == "auto")
        tls = enExplicitIfOffered;
      else if (mode == "implicit")
        tls = enImplicitTls;
      else
        return Usage("bad --tls: " + mode);
    } else if (arg == "--trust") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string given = argv[++i];
      // SSH host keys are named as OpenSSH prints them, certificates by their hex digits.
      trusted =
          given.rfind("SHA256:", 0) == 0 && given.size() > 7 ? given : NormalizeFingerprint(given);
      if (trusted.empty()) return Usage(std::string("bad --trust fingerprint: ") + argv[i]);
    } else if (arg == "-v") {
      verbose = true;
    } else if (arg == "--identity") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      identity = argv[++i];
      if (::access(identity.c_str(), R_OK) != 0) return Usage("cannot read --identity " + identity);
    } else if (arg == "--password-file") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      passwordFile = argv[++i];
    } else if (arg == "--parallel") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string text = argv[++i];
      if (!ParseCount(text, 1, kMaxSimultaneousTransfers, value)) {
        return Usage("bad --parallel: " + text);
      }
      Preferences().SimultaneousTransfers = value;
    } else if (arg == "--timeout" || arg == "--retries") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string text = argv[++i];
      if (arg == "--timeout") {
        if (!ParseCount(text, kMinTimeoutSeconds, kMaxTimeoutSeconds, value)) {
          return Usage("bad --timeout: " + text);
        }
        EngineSettings().FTPTimeout = value * 1000;
      } else {
        if (!ParseCount(text, 0, 1000000, value)) return Usage("bad --retries: " + text);
        EngineSettings().FTPRetries = value;
      }
    } else if (arg == "--version") {
      std::printf("pelmar-cli %s\n", PELMAR_VERSION);
      return 0;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else {
      words.push_back(arg);
      wordArguments.push_back(argv[i]);
    }
  }
  // The process list shows the arguments for as long as the program runs.
  for (char* argument : wordArguments) HidePasswordInArgument(argument);
  if (words.empty()) return Usage("");
  const std::string& command = words[0];
  const size_t expected = command == "ls"                                                 ? 2
                          : (command == "get" || command == "put" || command == "mirror") ? 3
                                                                                          : 0;
  if (expected == 0) return Usage("unknown command " + command);
  if (words.size() != expected) return Usage("wrong number of arguments for " + command);
  // mirror goes the way get or put would: from the side the address names.
  const bool mirrorUp = command == "mirror" && IsFtpAddress(words[2]) && !IsFtpAddress(words[1]);
  if (command == "mirror" && IsFtpAddress(words[1]) == IsFtpAddress(words[2])) {
    return Usage("mirror needs one address and one local folder");
  }

  std::string error;
  auto url = ParseFtpUrl(command == "put" || mirrorUp ? words[2] : words[1], error);
  if (!url) return Usage(error);
  if (url->Protocol == prSftp && tls) return Usage("--tls is for FTP addresses, not sftp://");
  if (url->Protocol != prSftp && !identity.empty()) return Usage("--identity is for sftp://");
  url->KeyFile = identity;
  std::vector<std::string> warnings;
  const bool found = FindPassword(*url, passwordFile, error, warnings);
  for (const std::string& warning : warnings) {
    std::fprintf(stderr, "pelmar-cli: %s\n", TerminalText(warning).c_str());
  }
  if (!found) return Failed(error);
  if (tls) {
    url->Encryption = *tls;
    if (*tls == enImplicitTls && !url->PortGiven) url->Port = 990;
  }
  SetCertificateHook(
      [trusted](const TCertificateEventData& question, std::function<void(TTrustDecision)> answer) {
        answer(AskOnTerminal(question, trusted));
      });
  // An encrypted SSH key: its passphrase from the terminal, else the key is skipped.
  SetPassphraseHook([](const TPassphraseEventData& question, TPassphraseAnswer answer) {
    if (!::isatty(STDIN_FILENO)) {
      answer(std::nullopt);
      return;
    }
    answer(AskPasswordOnTerminal(TerminalText(question.Prompt) + ": "));
  });

  const int timeOffset = mirror.TimeOffsetMinutes.value_or(0);
  TCliSession session(verbose);
  if (!session.Connect(*url)) return Failed(session.Error());
  // A missing folder is made (with its parents); a file in its place is a mistake.
  if (recursive && command == "get" && !IsFolder(words[2]) &&
      ::access(words[2].c_str(), F_OK) == 0) {
    return Usage("with -r, LOCALPATH must be a folder: " + words[2]);
  }
  if (command == "mirror") {
    const std::string& localFolder = mirrorUp ? words[1] : words[2];
    if (::access(localFolder.c_str(), F_OK) == 0 && !IsFolder(localFolder)) {
      session.Quit();
      return Usage("mirror needs a local folder: " + localFolder);
    }
    mirror.Upload = mirrorUp;
    mirror.KeepTimes = keepTimes;
    const int status = Mirror(session, *url, localFolder, mirror);
    session.Quit();
    return status;
  }
  if (recursive && command != "ls") {
    const int status = TransferTree(session, *url, command == "get" ? words[2] : words[1],
                                    command == "put", existing, keepTimes, timeOffset);
    session.Quit();
    return status;
  }
  bool ok = false;
  if (command == "ls") {
    ok = url->Path.empty() || session.ChangeFolder(url->Path);
    if (ok) {
      const auto listing = session.List();
      ok = listing.has_value();
      if (ok && raw) std::fwrite(listing->data(), 1, listing->size(), stdout);
      if (ok && !raw) PrintListing(*listing, timeOffset);
    }
  } else if (command == "get") {
    std::string local = words[2];
    if (IsFolder(local)) {
      // The file is named by the end of the address, which must be a plain name here.
      const std::string name = BaseName(url->Path);
      if (const std::string problem = LocalNameProblem(name); !problem.empty()) {
        session.Quit();
        return Failed("the address names no file to save (" + problem + ")");
      }
      local += "/" + name;
    }
    ok = session.Download(url->Path, local, resume);
    // The server's time, as curl -R and lftp keep it; a server without MDTM leaves it be.
    if (ok && keepTimes) session.KeepServerTime(local);
  } else {
    std::string remote = url->Path;
    if (remote.empty() || remote.back() == '/') remote += BaseName(words[1]);
    ok = session.Upload(words[1], remote, resume);
  }
  const std::string why = session.Error();
  session.Quit();
  return ok ? 0 : Failed(why);
}

namespace {

// Ctrl+C, SIGTERM or SIGHUP: replacements being written go (the old files stay as they were;
// a new partial file stays to be resumed), then the program ends as the signal would end it.
// The signals are taken by a thread of their own, so the tidying runs as ordinary code.
void HandleInterruptions() {
  static sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  pthread_t thread;
  const auto wait = [](void*) -> void* {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) return nullptr;
    pelmar::RemoveUnfinishedReplacements();
    std::fprintf(stderr, "pelmar-cli: interrupted\n");
    ::_exit(128 + signal);
  };
  if (pthread_create(&thread, nullptr, wait, nullptr) == 0) pthread_detach(thread);
}

}  // namespace

int main(int argc, char** argv) {
  // Before any other thread starts, so that every thread leaves these signals to one.
  HandleInterruptions();
  // A file past the size limit (ulimit -f) fails its write and that item, not the program.
  ::signal(SIGXFSZ, SIG_IGN);
  const int status = RunCommand(argc, argv);
  // Workers of connections already closed finish their last steps before the program ends.
  pelmar::ShutdownEngine(std::chrono::milliseconds(2000));
  return status;
}
