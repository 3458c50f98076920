#include "settings/Preferences.h"

#include "engine/FTPComponent.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <charconv>

#include "engine/EngineSettings.h"
#include "platform/ProfileFile.h"
#include "settings/DataFolder.h"
#include "text/UrlText.h"

namespace pelmar {
namespace {

std::function<void(bool)>& ToolTipsHook() {
  static std::function<void(bool)> hook;
  return hook;
}

// A whole number (optionally signed); nullopt otherwise.
std::optional<int> WholeNumber(const std::string& text) {
  int value = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [stop, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
  return value;
}

// A list section of keys Prefix0, Prefix1, ...: the values in order, or nullopt when the
// section holds no keys.
std::optional<std::vector<std::string>> ReadList(const TProfileFile& file, const char* section,
                                                 const char* prefix) {
  const size_t count = file.KeyNames(section).size();
  if (count == 0) return std::nullopt;
  std::vector<std::string> values;
  for (size_t i = 0; i < count; ++i) {
    values.push_back(file.ReadString(section, prefix + std::to_string(i), ""));
  }
  return values;
}

void WriteList(TProfileFile& file, const char* section, const char* prefix,
               const std::vector<std::string>& values) {
  file.EraseSection(section);
  for (size_t i = 0; i < values.size(); ++i) {
    file.WriteString(section, prefix + std::to_string(i), values[i]);
  }
}

}  // namespace

std::vector<std::string> TPreferences::DefaultAsciiExtensions() {
  // Text formats only: a binary format sent in text mode has its bytes changed (".doc" was
  // once in this list and damaged Word documents).
  return {".1st", ".asc", ".asi",  ".asp", ".cfm",   ".css",
          ".diz", ".htm", ".html", ".me",  ".shtml", ".txt"};
}

std::string TPreferences::Load(const std::string& path) {
  TProfileFile file(path);
  const bool readable = file.Load();
  const TPreferences defaults;
  auto s = [&](const char* section, const char* key, const std::string& fallback) {
    return file.ReadString(section, key, fallback);
  };
  auto b = [&](const char* section, const char* key, bool fallback) {
    return file.ReadBool(section, key, fallback);
  };
  auto n = [&](const char* section, const char* key, int fallback) {
    return static_cast<int>(file.ReadInteger(section, key, fallback));
  };
  EMail = s("General", "EMail", "");
  if (EMail.empty()) EMail = kPlaceholderEMail;
  Viewer = s("General", "Viewer", kDefaultViewer);
  Editor = s("General", "Editor", "");
  LogFile = s("General", "LogFile", DataFolder() + kLogFileName);
  LogToFile = b("General", "LogToFile", false);
  ShowToolTips = b("General", "ShowToolTips", true);
  DefaultDir = s("General", "DefaultDir", "");
  NoXferOlder = b("Advanced", "NoXferOlder", false);
  ASCIIOnView = b("Advanced", "ASCIIOnView", true);
  PreserveTimeStamp = b("Advanced", "PreserveTimeStamp", true);
  VerifyTransfers = b("Advanced", "VerifyTransfers", true);
  ConfirmRestarts = b("Advanced", "ConfirmRestarts", true);
  ConfirmLowerCase = b("Advanced", "ConfirmLowerCase", false);
  ConfirmOverwrites = b("Advanced", "ConfirmOverwrites", true);
  TryToResume = std::clamp(n("Advanced", "TryToResume", 1), 0, 2);
  LocalDblClk = std::clamp(n("Advanced", "LocalDblClk", 3), 0, 3);
  HostDblClk = std::clamp(n("Advanced", "HostDblClk", 2), 0, 3);
  ShowManager = b("Connection", "ShowManager", true);
  PromptForPass = b("Connection", "PromptForPass", true);
  Ping = b("Connection", "Ping", true);
  // Passive unless stored otherwise: active mode fails behind every home router.
  PassiveMode = b("Connection", "PassiveMode", true);
  Retries = s("Connection", "Retries", defaults.Retries);
  InfiniteRetry = b("Connection", "InfiniteRetry", false);
  Timeout = s("Connection", "Timeout", defaults.Timeout);
  TransferMode = std::clamp(n("Connection", "TransferMode", 0), 0, 4);
  SimultaneousTransfers =
      std::clamp(n("Connection", "SimultaneousTransfers", 2), 1, kMaxSimultaneousTransfers);
  FirewallEnabled = b("Firewall", "Enabled", false);
  FirewallType = std::clamp(n("Firewall", "Type", 0), 0, 3);
  FirewallHost = s("Firewall", "Host", "");
  FirewallPort = s("Firewall", "Port", "21");
  FirewallUser = s("Firewall", "User", "");
  FirewallPassword = s("Firewall", "Password", "");
  SoundsEnabled = b("Sounds", "Enabled", false);
  ConnectSuccessSound = s("Sounds", "ConnectSuccess", "");
  ConnectFailureSound = s("Sounds", "ConnectFailure", "");
  DisconnectSound = s("Sounds", "Disconnect", "");
  EndOfFileSound = s("Sounds", "EndOfFile", "");
  EndOfTotalSound = s("Sounds", "EndOfTotal", "");
  ErrorSound = s("Sounds", "Error", "");
  if (auto extensions = ReadList(file, "FileTypes", "Ext")) {
    AsciiExtensions = std::move(*extensions);
    std::sort(AsciiExtensions.begin(), AsciiExtensions.end());
  }
  if (auto urls = ReadList(file, "URLs", "URL")) {
    // An earlier version kept passwords here; they go with the next save.
    UrlHistory.clear();
    for (const std::string& url : *urls) UrlHistory.push_back(UrlDroppingPassword(url));
  }
  ApplyEngineSettings();
  return readable ? std::string() : file.Error();
}

std::string TPreferences::Save(const std::string& path) const {
  if (!WholeNumber(Retries)) return "\"" + Retries + "\" is not a valid number of retries";
  if (!WholeNumber(Timeout)) return "\"" + Timeout + "\" is not a valid time-out";
  TProfileFile file(path);
  if (!file.Load()) return file.Error();
  auto s = [&](const char* section, const char* key, const std::string& value) {
    file.WriteString(section, key, value);
  };
  auto b = [&](const char* section, const char* key, bool value) {
    file.WriteBool(section, key, value);
  };
  auto n = [&](const char* section, const char* key, int value) {
    file.WriteInteger(section, key, value);
  };
  s("General", "EMail", EMail);
  s("General", "Viewer", Viewer);
  s("General", "Editor", Editor);
  s("General", "LogFile", LogFile);
  b("General", "LogToFile", LogToFile);
  b("General", "ShowToolTips", ShowToolTips);
  s("General", "DefaultDir", DefaultDir);
  b("Advanced", "NoXferOlder", NoXferOlder);
  b("Advanced", "ASCIIOnView", ASCIIOnView);
  b("Advanced", "PreserveTimeStamp", PreserveTimeStamp);
  b("Advanced", "VerifyTransfers", VerifyTransfers);
  b("Advanced", "ConfirmRestarts", ConfirmRestarts);
  b("Advanced", "ConfirmLowerCase", ConfirmLowerCase);
  b("Advanced", "ConfirmOverwrites", ConfirmOverwrites);
  n("Advanced", "TryToResume", TryToResume);
  n("Advanced", "LocalDblClk", LocalDblClk);
  n("Advanced", "HostDblClk", HostDblClk);
  b("Connection", "ShowManager", ShowManager);
  b("Connection", "PromptForPass", PromptForPass);
  b("Connection", "Ping", Ping);
  b("Connection", "PassiveMode", PassiveMode);
  n("Connection", "Retries", *WholeNumber(Retries));
  b("Connection", "InfiniteRetry", InfiniteRetry);
  n("Connection", "Timeout", *WholeNumber(Timeout));
  n("Connection", "TransferMode", TransferMode);
  n("Connection", "SimultaneousTransfers", SimultaneousTransfers);
  b("Firewall", "Enabled", FirewallEnabled);
  n("Firewall", "Type", FirewallType);
  s("Firewall", "Host", FirewallHost);
  s("Firewall", "Port", FirewallPort);
  s("Firewall", "User", FirewallUser);
  s("Firewall", "Password", FirewallPassword);
  b("Sounds", "Enabled", SoundsEnabled);
  s("Sounds", "ConnectSuccess", ConnectSuccessSound);
  s("Sounds", "ConnectFailure", ConnectFailureSound);
  s("Sounds", "Disconnect", DisconnectSound);
  s("Sounds", "EndOfFile", EndOfFileSound);
  s("Sounds", "EndOfTotal", EndOfTotalSound);
  s("Sounds", "Error", ErrorSound);
  WriteList(file, "FileTypes", "Ext", AsciiExtensions);
  std::vector<std::string> urls;
  for (const std::string& url : UrlHistory) urls.push_back(UrlDroppingPassword(url));
  WriteList(file, "URLs", "URL", urls);
  if (!file.Save()) return file.Error();
  ApplyEngineSettings();
  return {};
}

int TPreferences::TimeoutMs() const {
  // The rule of pelmar-cli's --timeout: a second to a day; 0 is the default, and what is not
  // a number the engine's own fallback. The milliseconds are worked out in 64 bits: a large
  // value must not wrap into a tiny one.
  const auto stored = WholeNumber(Timeout);
  if (!stored) return 120000;
  int64_t seconds = *stored;
  if (seconds == 0) seconds = WholeNumber(TPreferences().Timeout).value_or(90);
  seconds = std::clamp<int64_t>(seconds, kMinTimeoutSeconds, kMaxTimeoutSeconds);
  return static_cast<int>(seconds * 1000);
}

int TPreferences::RetryCount() const {
  return InfiniteRetry ? 0 : WholeNumber(Retries).value_or(3);
}

int TPreferences::FirewallPortNumber() const {
  const auto port = WholeNumber(FirewallPort);
  return port && *port >= 1 && *port <= 65535 ? *port : 21;
}

void TPreferences::ApplyEngineSettings() const {
  EngineSettings().FTPKeepAlive = Ping;
  EngineSettings().PassiveMode = PassiveMode;
  EngineSettings().FTPTimeout = TimeoutMs();
  EngineSettings().FTPRetries = RetryCount();
  EngineSettings().KeepTimes = PreserveTimeStamp;
  EngineSettings().VerifyTransfers = VerifyTransfers;
  if (ToolTipsHook()) ToolTipsHook()(ShowToolTips);
}

bool TPreferences::IsAsciiExtension(const std::string& fileName) const {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || fileName.find('/', dot) != std::string::npos) return false;
  const std::string extension = AsciiLower(fileName.substr(dot));
  for (const auto& entry : AsciiExtensions) {
    if (AsciiLower(entry) == extension) return true;
  }
  return false;
}

int TPreferences::TransferModeFor(const std::string& fileName) const {
  switch (TransferMode) {
    case 1:
      return 0;
    case 2:
      return 1;
    case 3:
      return 2;
    case 4:
      return 3;
    default:
      return IsAsciiExtension(fileName) ? 0 : 1;
  }
}

bool TPreferences::AddAsciiExtension(std::string extension) {
  if (extension.empty()) return false;
  extension = AsciiLower(extension);
  if (extension[0] != '.') extension.insert(0, ".");
  for (const auto& entry : AsciiExtensions) {
    if (AsciiLower(entry) == extension) return false;
  }
  AsciiExtensions.insert(
      std::upper_bound(AsciiExtensions.begin(), AsciiExtensions.end(), extension), extension);
  return true;
}

void TPreferences::AddUrlToHistory(const std::string& url) {
  UrlHistory.erase(std::remove(UrlHistory.begin(), UrlHistory.end(), url), UrlHistory.end());
  UrlHistory.insert(UrlHistory.begin(), url);
}

void TPreferences::AdoptAnonymousPassword(const std::string& password) {
  if (EMail.empty() && !password.empty()) EMail = password;
}

void TPreferences::SetLogFileFromBox(const std::string& text) {
  LogFile = DataFolder() + text;
}

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TPreferences& Preferences() {
  static TPreferences preferences;
  return preferences;
}

std::string PreferencesPath() {
  return DataFolder() + kPreferencesFileName;
}

void SetToolTipsHook(std::function<void(bool)> hook) {
  ToolTipsHook() = std::move(hook);
}

void ConnectAsPreferred(TFTPComponent& connection, const TPreferences& preferences) {
  // The firewall is an FTP proxy: SFTP goes to the server itself.
  if (!preferences.FirewallEnabled || connection.Protocol == prSftp) {
    connection.Connect();
    return;
  }
  connection.FirewallType = static_cast<uint8_t>(preferences.FirewallType);
  connection.FirewallHost = preferences.FirewallHost;
  connection.FirewallPort = preferences.FirewallPortNumber();
  connection.FirewallUser = preferences.FirewallUser;
  connection.FirewallPassword = preferences.FirewallPassword;
  connection.ConnectViaFirewall();
}

}  // namespace pelmar
