#include "RemoteLister.h"

#include <algorithm>
#include <ctime>

#include "listing/TimeOffset.h"
#include "transfers/CaseFolding.h"

namespace pelmar {

TWalkEntry WalkEntry(const TRemoteItem& item) {
  return RemoteWalkEntry(item.Name, item.Attributes, item.Size, item.Modified, item.Unique);
}

std::optional<std::vector<TWalkEntry>> TRemoteLister::List(const std::string& folder) {
  const auto text = Session.ListFolder(folder);
  if (!text) return std::nullopt;
  TRead read = Read(*text);
  if (CheckTimeZone) CheckZone(folder, *text, read);
  if (CheckCase) CheckFolding(folder, read);
  Identities.Note(folder, read.Entries);
  return std::move(read.Entries);
}

std::string TRemoteLister::LastError() const {
  return Session.FailureReply().empty() ? Session.Error() : Session.FailureReply();
}

std::string TRemoteLister::AbsolutePath(const std::string& folder) const {
  std::string home = Session.LoginFolder();
  if (home.empty() || home.back() != '/') home += '/';
  return !folder.empty() && folder[0] == '/' ? folder : home + folder;
}

TRemoteLister::TRead TRemoteLister::Read(const std::string& text) const {
  TRead read;
  // One entry per line at most: room made once, not grown (and copied) step by step.
  read.Entries.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  const TDateTime now = DateTimeFromTimeT(std::time(nullptr));
  TListingHooks hooks;
  hooks.AddItem = [&](TRemoteItem& item) {
    if (item.Name == "." || item.Name == "..") return;
    if (BetterZoneProbe(item, read.Newest ? &*read.Newest : nullptr, now)) read.Newest = item;
    read.Entries.push_back(WalkEntry(item));
  };
  hooks.SetUnixListing = [&](bool unixLayout) {
    read.OtherLayout = read.OtherLayout || !unixLayout;
  };
  TListingPass pass;
  pass.TimeOffsetMinutes = TimeOffsetMinutes;
  read.Result = pass.ListingReceived(text, Today(), hooks);
  return read;
}

void TRemoteLister::CheckZone(const std::string& folder, const std::string& text, TRead& read) {
  // MLSD times are exact; a listing without a recent file cannot tell, the next one may.
  if (read.Result.ExactTimes > 0 || !read.Newest) return;
  CheckTimeZone = false;
  const auto exact = Session.FileTime(AbsolutePath(folder) + read.Newest->Name);
  if (!exact) return;
  const TDateTime listed = read.Newest->Modified + TimeOffsetMinutes / (24.0 * 60.0);
  const auto minutes = ListedTimeOffset(listed, static_cast<std::time_t>(*exact));
  if (!minutes || *minutes == TimeOffsetMinutes) return;
  TimeOffsetMinutes = *minutes;
  if (Note) {
    Note("the times the server lists are " + TimeOffsetText(*minutes) +
         " this computer's clock (MDTM of " + folder + read.Newest->Name +
         "); they are read so (--time-offset sets the offset)");
  }
  read = Read(text);
}

void TRemoteLister::CheckFolding(const std::string& folder, const TRead& read) {
  // DOS (Windows, IIS), VMS, MVS and the other non-Unix layouts come from systems whose names
  // are one whatever their case; MLSD facts tell no system, so only LIST lines count here.
  if (read.OtherLayout && read.Result.ExactTimes == 0) {
    Folds = true;
  } else {
    const std::string base = AbsolutePath(folder);
    TCaseProbe probe;
    probe.FileTime = [&](const std::string& name) { return Session.FileTime(base + name); };
    probe.EntersFolder = [&](const std::string& name) { return Session.ChangeFolder(base + name); };
    const auto folds = ProbeCaseFolding(read.Entries, probe);
    if (!folds) return;  // nothing here to try: the next listing may have something
    Folds = *folds;
  }
  CheckCase = false;
  if (Folds && Note) {
    Note(
        "the server takes names that differ only in case for the same entry; mirror compares "
        "them so");
  }
}

}  // namespace pelmar
