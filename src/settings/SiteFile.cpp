#include "settings/SiteFile.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <charconv>

#include "settings/CommaText.h"
#include "settings/StoredPassword.h"
#include "text/TextUtils.h"

namespace pelmar {
namespace {

constexpr const char* kSites = "Sites";
constexpr const char* kInKeyring = "PasswordInKeyring";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

TSiteFile::TSiteFile(std::string path, IPasswordStore* store)
    : File(std::move(path)), Store(store) {}

std::string TSiteFile::Open() {
  return File.Load() ? std::string() : File.Error();
}

bool TSiteFile::HasSiteList() const {
  return !File.KeyNames(kSites).empty();
}

std::vector<std::string> TSiteFile::ReadSiteNames() const {
  // Site1, Site2, ... while they exist; a hand-written file without LastSite keeps its last
  // site (counting keys, as the design did, took LastSite for granted).
  std::vector<std::string> names;
  const std::vector<std::string> keys = File.KeyNames(kSites);
  auto present = [&keys](const std::string& key) {
    for (const auto& k : keys) {
      if (AsciiLower(k) == AsciiLower(key)) return true;
    }
    return false;
  };
  for (size_t i = 1; present("Site" + std::to_string(i)); ++i) {
    const std::string name = File.ReadString(kSites, "Site" + std::to_string(i), "");
    if (!name.empty()) InsertSorted(names, name);
  }
  return names;
}

std::string TSiteFile::LastSite() const {
  return File.ReadString(kSites, "LastSite", "!");
}

TSite TSiteFile::ReadSite(const std::string& name, const std::string& email) const {
  Problem.clear();
  TSite site = ReadSiteWithoutPassword(name, email);
  if (site.Anonymous) return site;
  if (const auto key = KeyringKeyOf(name)) {
    std::string error = "no desktop keyring is available";
    const auto password = Store ? Store->Lookup(*key, error) : std::nullopt;
    site.Password = password.value_or("");
    if (!password) {
      Problem = "The password of site \"" + name + "\" is kept in the desktop keyring" +
                (error.empty() ? ", which no longer holds it" : ", which cannot give it: " + error);
    }
  } else if (const auto raw = File.ReadRaw(name, "Password")) {
    site.Password = PasswordFromStored(*raw);
  }
  return site;
}

TSite TSiteFile::ReadSiteWithoutPassword(const std::string& name, const std::string& email) const {
  TSite site;
  site.Name = name;
  site.Host = File.ReadString(name, "Host", "");
  // Files from before SFTP have no Protocol key: FTP, as they meant.
  const int64_t protocol = File.ReadInteger(name, "Protocol", prFtp);
  site.Protocol = protocol == prSftp ? prSftp : prFtp;
  const bool sftp = site.Protocol == prSftp;
  site.Port = std::to_string(File.ReadInteger(name, "Port", UsualPort(site.Protocol, enPlain)));
  site.Anonymous = !sftp && File.ReadBool(name, "Anonymous", false);
  // Files from before encryption have no key: plain FTP, as they meant. A value this version
  // does not know (a later one wrote it), or a protocol it does not know, asks for TLS rather
  // than risking the password.
  const int64_t encryption = File.ReadInteger(name, "Encryption", enPlain);
  site.Encryption = encryption >= enPlain && encryption <= enImplicitTls
                        ? static_cast<TEncryption>(encryption)
                        : enExplicitTls;
  if (protocol != prFtp && protocol != prSftp && site.Encryption != enImplicitTls) {
    site.Encryption = enExplicitTls;
  }
  // SSH protects the whole session itself; the key says something to older versions only.
  if (sftp) site.Encryption = enPlain;
  site.KeyFile = File.ReadString(name, "KeyFile", "");
  site.Password = sftp ? std::string() : email;
  if (!site.Anonymous) site.User = File.ReadString(name, "User", sftp ? "" : "anonymous");
  site.HostFolder = File.ReadString(name, "HostFolder", "");
  // Anything beyond a day either way is no time zone: read as none.
  const int64_t offset = File.ReadInteger(name, "TimeZoneOffset", 0);
  site.TimeOffsetMinutes =
      offset >= -kMaxTimeOffset && offset <= kMaxTimeOffset ? static_cast<int>(offset) : 0;
  site.TimeZoneChecked = File.ReadBool(name, "TimeZoneChecked", false);
  site.LocalFolder1 = File.ReadString(name, "LocalFolder1", "");
  site.LocalFolder2 = File.ReadString(name, "LocalFolder2", "");
  site.LocalFolder3 = File.ReadString(name, "LocalFolder3", "");
  // Notes are read as stored: quoted first and last lines must keep their quotes.
  if (const auto raw = File.ReadRaw(name, "Comments")) {
    std::string text = *raw;
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    site.Notes = FromCommaText(text.substr(start));
  }
  return site;
}

std::string TSiteFile::Validate(const TSite& site) {
  int port = 0;
  const char* end = site.Port.data() + site.Port.size();
  const auto [stop, ec] = std::from_chars(site.Port.data(), end, port);
  if (site.Port.empty() || ec != std::errc() || stop != end) {
    return "'" + site.Port + "' is not a valid integer value";
  }
  const std::string& name = site.Name;
  if (name.find_first_of(std::string("]\r\n\0", 4)) != std::string::npos ||
      (!name.empty() && (IsBlank(name.front()) || IsBlank(name.back())))) {
    return "The site name \"" + name +
           "\" cannot be stored: it must not contain \"]\" or a line break, nor start or end "
           "with a blank.";
  }
  if (EqualsIgnoringCase(name, kSites)) {
    return "The site name \"" + name + "\" is reserved for the list of sites.";
  }
  return {};
}

void TSiteFile::InsertSorted(std::vector<std::string>& names, const std::string& name) {
  names.insert(std::upper_bound(names.begin(), names.end(), name, LessIgnoringCase), name);
}

std::optional<TKeyringKey> TSiteFile::KeyringKeyOf(const std::string& section) const {
  if (!File.ReadBool(section, kInKeyring, false)) return std::nullopt;
  return TKeyringKey{section, File.ReadString(section, "Host", ""),
                     std::to_string(File.ReadInteger(section, "Port", 21)),
                     File.ReadString(section, "User", "anonymous")};
}

void TSiteFile::WritePassword(const TSite& site, const std::optional<TKeyringKey>& old) {
  const std::string& section = site.Name;
  const TKeyringKey key{section, site.Host, std::to_string(std::stoi(site.Port)), site.User};
  // An anonymous site's password is an e-mail address, and an empty one needs no keeping.
  bool inKeyring = false;
  if (Store && !site.Anonymous && !site.Password.empty()) {
    std::string error;
    inKeyring = Store->Store(key, site.Password, error);
    if (!inKeyring) {
      Problem = "The desktop keyring did not take the password (" + error +
                "); it is kept scrambled in the site file.";
    }
  }
  if (old && (!inKeyring || !(*old == key)) && Store) Store->Remove(*old);
  File.WriteString(section, "Password", inKeyring ? "" : StoredPasswordValue(site.Password));
  if (inKeyring) {
    File.WriteBool(section, kInKeyring, true);
  } else {
    File.DeleteKey(section, kInKeyring);
  }
}

void TSiteFile::WriteSiteSection(const TSite& site, bool withPassword) {
  const std::string& section = site.Name;
  // Before Host, Port and User change: the old keyring item is found by them.
  const std::optional<TKeyringKey> old = KeyringKeyOf(section);
  File.WriteString(section, "Host", site.Host);
  File.WriteString(section, "Port", std::to_string(std::stoi(site.Port)));
  File.WriteBool(section, "Anonymous", site.Anonymous);
  // A Pelmar without SFTP reads an SFTP site as FTP: asking it for TLS keeps it from sending
  // the password in clear to whatever answers there.
  const TEncryption encryption = site.Protocol == prSftp ? enExplicitTls : site.Encryption;
  File.WriteString(section, "Encryption", std::to_string(encryption));
  File.WriteString(section, "Protocol", std::to_string(site.Protocol));
  File.WriteString(section, "KeyFile", site.KeyFile);
  File.WriteString(section, "User", site.User);
  if (withPassword) WritePassword(site, old);
  File.WriteString(section, "HostFolder", site.HostFolder);
  File.WriteString(section, "TimeZoneOffset", std::to_string(site.TimeOffsetMinutes));
  File.WriteString(section, "LocalFolder1", site.LocalFolder1);
  File.WriteString(section, "LocalFolder2", site.LocalFolder2);
  File.WriteString(section, "LocalFolder3", site.LocalFolder3);
  File.WriteString(section, "Comments", ToCommaText(site.Notes));
}

std::string TSiteFile::SaveSite(const TSite& site, const std::vector<std::string>& names) {
  Problem.clear();
  if (site.Name.empty()) return {};
  if (std::string error = Validate(site); !error.empty()) return error;
  for (size_t i = 0; i < names.size(); ++i) {
    File.WriteString(kSites, "Site" + std::to_string(i + 1), names[i]);
  }
  File.WriteString(kSites, "LastSite", site.Name);
  WriteSiteSection(site);
  return File.Save() ? std::string() : File.Error();
}

std::string TSiteFile::SaveTimeZone(const std::string& name, int minutes) {
  if (!File.SectionExists(name)) return "There is no site " + name;
  File.WriteString(name, "TimeZoneOffset", std::to_string(minutes));
  File.WriteBool(name, "TimeZoneChecked", true);
  return File.Save() ? std::string() : File.Error();
}

std::string TSiteFile::DeleteSite(const std::string& name, std::vector<std::string>& names,
                                  const std::string& email) {
  const size_t oldCount = names.size();
  if (const auto key = KeyringKeyOf(name); key && Store) Store->Remove(*key);
  File.EraseSection(name);
  File.DeleteKey(kSites, "Site" + std::to_string(oldCount));
  names.erase(std::remove(names.begin(), names.end(), name), names.end());
  for (size_t i = 0; i < names.size(); ++i) {
    // The sections stay; their passwords stay where they are, in the file or the keyring.
    const TSite site = ReadSiteWithoutPassword(names[i], email);
    File.WriteString(kSites, "Site" + std::to_string(i + 1), site.Name);
    if (Validate(site).empty()) WriteSiteSection(site, false);
  }
  return File.Save() ? std::string() : File.Error();
}

}  // namespace pelmar
