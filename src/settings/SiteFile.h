#pragma once
// The site file (Sites.ini in the data folder): the list of sites in a "Sites" section
// (Site1, Site2, ... in list order, and LastSite) and one section per site.

#include <optional>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "platform/ProfileFile.h"
#include "settings/Keyring.h"

namespace pelmar {

inline constexpr int kMaxTimeOffset = 24 * 60;

struct TSite {
  std::string Name;
  std::string Host;
  std::string Port = "21";           // as typed; a whole number when saved
  TEncryption Encryption = enPlain;  // FTP's protection; enPlain for SFTP
  TProtocol Protocol = prFtp;
  // SFTP: a private key file offered after the agent's keys ("" for the default keys only).
  std::string KeyFile{};
  bool Anonymous = false;  // FTP only: SSH has no anonymous log-on
  std::string User = "anonymous";
  std::string Password;
  std::string HostFolder;
  std::string LocalFolder1;
  std::string LocalFolder2;
  std::string LocalFolder3;
  std::vector<std::string> Notes;  // lines
  // "Server time zone offset": how far the server's clock is ahead of this machine's, in
  // minutes (its LIST times are its local time); -24 h .. +24 h.
  int TimeOffsetMinutes = 0;
  // The offset was checked against the server's exact time once (offered or confirmed).
  bool TimeZoneChecked = false;
};

// Passwords go to `store` (the desktop keyring) when there is one and it takes them: the site
// section then holds an empty Password and PasswordInKeyring=1. Otherwise, or when the store
// refuses, they are kept scrambled in the file as before (KeyringProblem() says why).
class TSiteFile {
 public:
  explicit TSiteFile(std::string path, IPasswordStore* store = DesktopKeyring());

  // Reads the file (a missing one is empty). Returns an error text when it cannot be read.
  std::string Open();

  // True when the Sites section holds any key (the list then replaces what a caller had).
  bool HasSiteList() const;
  // Site1 .. Site(k - 1) where k counts all keys of the Sites section (LastSite among them);
  // empty names skipped; sorted without regard to case.
  std::vector<std::string> ReadSiteNames() const;
  // Whether the file has a section for the site.
  bool HasSite(const std::string& name) const { return File.SectionExists(name); }
  // "!" when the file names none.
  std::string LastSite() const;

  // A site's values; a name without a section gives the defaults. User and password are read
  // only for a site that is not anonymous; the password defaults to `email`.
  TSite ReadSite(const std::string& name, const std::string& email) const;

  // Why a site cannot be saved ("" when it can): a port that is not a whole number, or a name
  // the file could not give back.
  static std::string Validate(const TSite& site);
  // Writes the site list (Site1.. from `names`, LastSite = site's name) and the site's section,
  // then the file. Validates first and writes nothing when the site is not valid. Returns an
  // error text or "".
  std::string SaveSite(const TSite& site, const std::vector<std::string>& names);
  // Writes a site's checked time zone offset alone (TimeZoneOffset, TimeZoneChecked=1), then the
  // file. Returns an error text or "".
  std::string SaveTimeZone(const std::string& name, int minutes);
  // Erases a site's section and renumbers the rest: the remaining sites are read and written
  // back in list order. Returns an error text or "".
  std::string DeleteSite(const std::string& name, std::vector<std::string>& names,
                         const std::string& email);

  // Keeps a list of names sorted the way the site list shows them (letter case ignored).
  static void InsertSorted(std::vector<std::string>& names, const std::string& name);

  // Why the last read or save could not use the keyring ("" when it could, or there is none).
  const std::string& KeyringProblem() const { return Problem; }
  bool UsesKeyring() const { return Store != nullptr; }

 private:
  // ReadSite without looking for a named user's password (left at `email`).
  TSite ReadSiteWithoutPassword(const std::string& name, const std::string& email) const;
  // `withPassword` false leaves the Password key and the keyring as they are.
  void WriteSiteSection(const TSite& site, bool withPassword = true);
  // The keyring item a section's password is in, when it is in one.
  std::optional<TKeyringKey> KeyringKeyOf(const std::string& section) const;
  // Into the keyring when it takes it, else scrambled; `old` is the item it was in.
  void WritePassword(const TSite& site, const std::optional<TKeyringKey>& old);

  TProfileFile File;
  IPasswordStore* Store;
  mutable std::string Problem;
};

}  // namespace pelmar
