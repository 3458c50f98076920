#include "settings/SiteFile.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <charconv>

#include "settings/CommaText.h"
#include "settings/StoredPassword.h"

namespace pelmar {
namespace {

constexpr const char* kSites = "Sites";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

TSiteFile::TSiteFile(std::string path) : File(std::move(path)) {}

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
  TSite site;
  site.Name = name;
  site.Host = File.ReadString(name, "Host", "");
  site.Port = std::to_string(File.ReadInteger(name, "Port", 21));
  site.Anonymous = File.ReadBool(name, "Anonymous", false);
  // Files from before encryption have no key: plain FTP, as they meant. A value this version
  // does not know (a later one wrote it) asks for TLS rather than risking the password.
  const int64_t encryption = File.ReadInteger(name, "Encryption", enPlain);
  site.Encryption = encryption >= enPlain && encryption <= enImplicitTls
                        ? static_cast<TEncryption>(encryption)
                        : enExplicitTls;
  site.Password = email;
  if (!site.Anonymous) {
    site.User = File.ReadString(name, "User", "anonymous");
    if (const auto raw = File.ReadRaw(name, "Password")) site.Password = PasswordFromStored(*raw);
  }
  site.HostFolder = File.ReadString(name, "HostFolder", "");
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

void TSiteFile::WriteSiteSection(const TSite& site) {
  const std::string& section = site.Name;
  File.WriteString(section, "Host", site.Host);
  File.WriteString(section, "Port", std::to_string(std::stoi(site.Port)));
  File.WriteBool(section, "Anonymous", site.Anonymous);
  File.WriteString(section, "Encryption", std::to_string(site.Encryption));
  File.WriteString(section, "User", site.User);
  File.WriteString(section, "Password", StoredPasswordValue(site.Password));
  File.WriteString(section, "HostFolder", site.HostFolder);
  File.WriteString(section, "LocalFolder1", site.LocalFolder1);
  File.WriteString(section, "LocalFolder2", site.LocalFolder2);
  File.WriteString(section, "LocalFolder3", site.LocalFolder3);
  File.WriteString(section, "Comments", ToCommaText(site.Notes));
}

std::string TSiteFile::SaveSite(const TSite& site, const std::vector<std::string>& names) {
  if (site.Name.empty()) return {};
  if (std::string error = Validate(site); !error.empty()) return error;
  for (size_t i = 0; i < names.size(); ++i) {
    File.WriteString(kSites, "Site" + std::to_string(i + 1), names[i]);
  }
  File.WriteString(kSites, "LastSite", site.Name);
  WriteSiteSection(site);
  return File.Save() ? std::string() : File.Error();
}

std::string TSiteFile::DeleteSite(const std::string& name, std::vector<std::string>& names,
                                  const std::string& email) {
  const size_t oldCount = names.size();
  File.EraseSection(name);
  File.DeleteKey(kSites, "Site" + std::to_string(oldCount));
  names.erase(std::remove(names.begin(), names.end(), name), names.end());
  for (size_t i = 0; i < names.size(); ++i) {
    const TSite site = ReadSite(names[i], email);
    File.WriteString(kSites, "Site" + std::to_string(i + 1), site.Name);
    if (Validate(site).empty()) WriteSiteSection(site);
  }
  return File.Save() ? std::string() : File.Error();
}

}  // namespace pelmar
