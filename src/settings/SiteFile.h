#pragma once
// The site file (Sites.ini in the data folder): the list of sites in a "Sites" section
// (Site1, Site2, ... in list order, and LastSite) and one section per site.

#include <string>
#include <vector>

#include "engine/Messages.h"
#include "platform/ProfileFile.h"

namespace pelmar {

struct TSite {
  std::string Name;
  std::string Host;
  std::string Port = "21";  // as typed; a whole number when saved
  TEncryption Encryption = enPlain;
  bool Anonymous = false;
  std::string User = "anonymous";
  std::string Password;
  std::string HostFolder;
  std::string LocalFolder1;
  std::string LocalFolder2;
  std::string LocalFolder3;
  std::vector<std::string> Notes;  // lines
};

class TSiteFile {
 public:
  explicit TSiteFile(std::string path);

  // Reads the file (a missing one is empty). Returns an error text when it cannot be read.
  std::string Open();

  // True when the Sites section holds any key (the list then replaces what a caller had).
  bool HasSiteList() const;
  // Site1 .. Site(k - 1) where k counts all keys of the Sites section (LastSite among them);
  // empty names skipped; sorted without regard to case.
  std::vector<std::string> ReadSiteNames() const;
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
  // Erases a site's section and renumbers the rest: the remaining sites are read and written
  // back in list order. Returns an error text or "".
  std::string DeleteSite(const std::string& name, std::vector<std::string>& names,
                         const std::string& email);

  // Keeps a list of names sorted the way the site list shows them (letter case ignored).
  static void InsertSorted(std::vector<std::string>& names, const std::string& name);

 private:
  void WriteSiteSection(const TSite& site);

  TProfileFile File;
};

}  // namespace pelmar
