#pragma once
// Remote folders for pelmar-cli's walks and mirrors, listed through its browsing connection:
// LIST times read in the server's time zone, and whether the server folds case.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CliSession.h"
#include "listing/ListingPass.h"
#include "listing/RemoteItem.h"
#include "transfers/TreeWalk.h"

namespace pelmar {

// A listed remote entry as the walk sees it: a plain file's name is its whole name, even with
// " -> " in it; a link is named without its target and walked as a folder when its target has
// no extension.
TWalkEntry WalkEntry(const TRemoteItem& item);

// Lists remote folders relative to the login folder.
class TRemoteLister : public IFolderLister {
 public:
  explicit TRemoteLister(TCliSession& session) : Session(session) {}
  std::optional<std::vector<TWalkEntry>> List(const std::string& folder) override;
  std::string FolderIdentity(const std::string& path) const override { return Identities.Of(path); }
  std::string LastError() const override;
  std::string AbsolutePath(const std::string& folder) const override;
  bool FoldsCase() const override { return Folds; }

  // How far the server's clock is ahead of this machine's: taken off LIST times.
  int TimeOffsetMinutes = 0;
  // The first listing in LIST form with a recent file sets TimeOffsetMinutes from that file's
  // exact time (MDTM), as the window's check of a site's time zone does.
  bool CheckTimeZone = false;
  // Listings are looked at until one tells whether the server folds case.
  bool CheckCase = false;
  // What the checks found, for stderr.
  std::function<void(const std::string& line)> Note;

 private:
  struct TRead {
    std::vector<TWalkEntry> Entries;
    TListingPassResult Result;
    std::optional<TRemoteItem> Newest;  // the file to check the time zone with
    bool OtherLayout = false;           // lines other than Unix ones (DOS, VMS, ...)
  };
  TRead Read(const std::string& text) const;
  void CheckZone(const std::string& folder, const std::string& text, TRead& read);
  void CheckFolding(const std::string& folder, const TRead& read);

  TCliSession& Session;
  TRemoteIdentities Identities;
  bool Folds = false;
};

}  // namespace pelmar
