#pragma once
// Every user preference, in memory, with its file (pelmar.ini in the data folder). Other parts
// read the current values from here when they need them; the preferences dialog edits a copy
// and hands it back on OK.

#include <functional>
#include <string>
#include <vector>

namespace pelmar {

// The time-out a person may choose, in seconds (the preferences and pelmar-cli --timeout).
inline constexpr int kMinTimeoutSeconds = 1;
inline constexpr int kMaxTimeoutSeconds = 86400;
// Transfers the queue runs at once (the preferences and pelmar-cli --parallel).
inline constexpr int kMaxSimultaneousTransfers = 10;

struct TPreferences {
  // The anonymous password shown when none is stored.
  static constexpr const char* kPlaceholderEMail = "pelmar@example.com";
  static constexpr const char* kDefaultViewer = "/usr/bin/xdg-open";

  // General
  std::string EMail = kPlaceholderEMail;
  std::string Viewer = kDefaultViewer;  // full path
  // The editor for server files edited in place: a command line the files are added to;
  // empty for the desktop's editor for text files.
  std::string Editor;
  std::string LogFile;  // full path; the data folder's pelmar.log by default
  bool LogToFile = false;
  bool ShowToolTips = true;
  std::string DefaultDir;
  // Advanced
  bool NoXferOlder = false;
  bool ASCIIOnView = true;
  bool PreserveTimeStamp = true;
  // After each binary transfer, compare the server's checksum with the local file's.
  bool VerifyTransfers = true;
  bool ConfirmRestarts = true;
  bool ConfirmLowerCase = false;  // force uploaded names to lower case
  bool ConfirmOverwrites = true;
  int TryToResume = 1;  // 0 none, 1 binary files, 2 all files
  int LocalDblClk = 3;  // 0 properties, 1 view, 2 upload, 3 open
  int HostDblClk = 2;   // 0 properties, 1 view, 2 download, 3 open
  // Connection
  bool ShowManager = true;
  bool PromptForPass = true;
  bool Ping = true;
  bool PassiveMode = true;    // data connections to the server's port (EPSV/PASV), not PORT
  std::string Retries = "3";  // as typed; a whole number when saved
  bool InfiniteRetry = false;
  std::string Timeout = "90";     // seconds, as typed
  int TransferMode = 0;           // 0 auto, 1 ASCII, 2 binary, 3 EBCDIC, 4 local
  int SimultaneousTransfers = 2;  // 1..kMaxSimultaneousTransfers
  // Firewall
  bool FirewallEnabled = false;
  int FirewallType = 0;
  std::string FirewallHost;
  std::string FirewallPort = "21";
  std::string FirewallUser;
  std::string FirewallPassword;  // stored as plain text
  // Sounds
  bool SoundsEnabled = false;
  std::string ConnectSuccessSound;
  std::string ConnectFailureSound;
  std::string DisconnectSound;
  std::string EndOfFileSound;
  std::string EndOfTotalSound;
  std::string ErrorSound;
  // File types: extensions with their dot, lower case, sorted.
  std::vector<std::string> AsciiExtensions = DefaultAsciiExtensions();
  // Addresses typed in the connect-to-URL dialog, newest first.
  std::vector<std::string> UrlHistory;

  static std::vector<std::string> DefaultAsciiExtensions();

  // Reads the file (a missing file gives the defaults) and applies the engine settings.
  // Returns an error text when the file exists but cannot be read.
  std::string Load(const std::string& path);
  // Writes every key and applies the engine settings. Returns an error text (nothing is
  // written when Retries or Timeout is not a whole number, or the file cannot be written).
  std::string Save(const std::string& path) const;
  // Pushes keep-alive, time-out and retries into the engine and tool tips to the application.
  void ApplyEngineSettings() const;

  // Time-out in milliseconds and connection attempts as the engine takes them.
  int TimeoutMs() const;
  int RetryCount() const;
  int FirewallPortNumber() const;

  // True when the name's extension is in the ASCII list (whole entries, any letter case).
  bool IsAsciiExtension(const std::string& fileName) const;
  // The engine's transfer mode (0 ASCII, 1 binary, 2 EBCDIC, 3 local) for a file.
  int TransferModeFor(const std::string& fileName) const;
  // Adds ".ext" (a dot is put in front when missing); false when an equal entry is there.
  bool AddAsciiExtension(std::string extension);

  // In-memory changes made elsewhere, written by a later save.
  void AddUrlToHistory(const std::string& url);
  void AdoptAnonymousPassword(const std::string& password);
  // A bare name typed in the log-file box means a file in the data folder.
  void SetLogFileFromBox(const std::string& text);
};

// The file-name part of a path, as the viewer and log boxes show it.
std::string FileNamePart(const std::string& path);

// The process-wide preferences.
TPreferences& Preferences();
std::string PreferencesPath();

class TFTPComponent;
// Starts the connection's log-on: through the firewall of the preferences when it is enabled
// (its type, host, port, user and password given to the connection), else directly. SFTP
// always goes directly: the firewall is an FTP proxy.
void ConnectAsPreferred(TFTPComponent& connection, const TPreferences& preferences);

// Called with ShowToolTips whenever the engine settings are applied (the application installs
// it).
void SetToolTipsHook(std::function<void(bool)> hook);

}  // namespace pelmar
