#include "transfers/TreeWalk.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "listing/FolderItems.h"
#include "listing/RemoteItem.h"
#include "platform/AsciiText.h"
#include "settings/Preferences.h"
#include "text/TextUtils.h"
#include "transfers/TransferQueue.h"

namespace pelmar {
namespace {

std::optional<TExistingFile> Existing(const std::vector<TWalkEntry>& entries,
                                      const std::string& name) {
  const std::string wanted = AsciiLower(name);
  for (const auto& entry : entries) {
    if (!entry.IsFolder && AsciiLower(entry.Name) == wanted) {
      return TExistingFile{entry.Size, entry.Modified};
    }
  }
  return std::nullopt;
}

// "/a/b/../c/./" -> "/a/c/"; always absolute with a trailing "/".
std::string NormalFolder(const std::string& path) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    const size_t slash = std::min(path.find('/', at), path.size());
    const std::string part = path.substr(at, slash - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = slash + 1;
  }
  std::string normal = "/";
  for (const auto& part : parts) normal += part + "/";
  return normal;
}

}  // namespace

TWalkEntry RemoteWalkEntry(const std::string& listedName, uint16_t attributes, int64_t size,
                           TDateTime modified, uint64_t unique) {
  TWalkEntry entry;
  entry.Unique = unique;
  entry.Name = listedName;
  entry.IsFolder = (attributes & iaFolder) != 0;
  entry.Size = size;
  entry.Modified = modified;
  if ((attributes & iaExactTime) && !entry.IsFolder)
    entry.ServerTime = UnambiguousTimeT(modified).value_or(-1);
  if (attributes & iaLink) {
    entry.Name = LinkName(listedName);
    entry.IsLink = true;
    entry.Target = std::make_shared<const std::string>(LinkTarget(listedName));
    entry.IsFolder = LinkLooksLikeFolder(listedName);
  }
  return entry;
}

void TRemoteIdentities::Note(const std::string& folder, const std::vector<TWalkEntry>& entries) {
  for (const auto& entry : entries) {
    if (entry.IsFolder && entry.Unique != 0) Known[folder + entry.Name + "/"] = entry.Unique;
  }
}

std::string TRemoteIdentities::Of(const std::string& path) const {
  const auto found = Known.find(path);
  return found == Known.end() ? std::string() : "unique:" + std::to_string(found->second);
}

bool LinkLeadsUpward(const std::string& linkFolder, const std::string& target) {
  if (target.empty()) return false;
  const std::string base = target[0] == '/' ? std::string() : NormalFolder(linkFolder);
  const std::string resolved = NormalFolder(base + target);
  return NormalFolder(linkFolder).rfind(resolved, 0) == 0;
}

std::optional<std::vector<TWalkEntry>> TLocalFolderLister::List(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) {
    Error = error.message();
    return std::nullopt;
  }
  std::vector<TWalkEntry> entries;
  for (const auto& entry : it) {
    TWalkEntry walked;
    walked.Name = entry.path().filename().string();
    walked.IsFolder = entry.is_directory(error);
    walked.IsLink = entry.is_symlink(error);
    // What a link leads to counts; a broken link is left to fail as a file that cannot be read.
    const auto type = entry.status(error).type();
    walked.Special = !error && !walked.IsFolder && type != fs::file_type::regular;
    if (!walked.IsFolder) {
      const auto size = entry.file_size(error);
      walked.Size = error ? 0 : static_cast<int64_t>(size);
    }
    struct stat info {};
    if (::stat(entry.path().c_str(), &info) == 0)
      walked.Modified = DateTimeFromTimeT(info.st_mtime);
    entries.push_back(std::move(walked));
  }
  std::sort(entries.begin(), entries.end(),
            [](const TWalkEntry& a, const TWalkEntry& b) { return a.Name < b.Name; });
  return entries;
}

std::string TLocalFolderLister::FolderIdentity(const std::string& folder) const {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return {};
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

TWalkResult TWalk::Run(const std::string& sourceFolder, const std::string& destFolder,
                       const std::vector<std::string>& selection) {
  TWalkResult result;
  Entered.clear();
  Root = destFolder;
  const auto listed = Source.List(sourceFolder);
  if (!listed) {
    result.Unlisted.push_back({sourceFolder, Source.LastError()});
    return result;
  }
  if (const std::string identity = Source.FolderIdentity(sourceFolder); !identity.empty()) {
    Entered.insert(identity);
  }
  std::vector<TWalkEntry> chosen;
  for (const auto& entry : *listed) {
    if (std::find(selection.begin(), selection.end(), entry.Name) != selection.end()) {
      chosen.push_back(entry);
    }
  }
  for (const auto& name : selection) {
    const bool found = std::any_of(chosen.begin(), chosen.end(),
                                   [&](const TWalkEntry& entry) { return entry.Name == name; });
    if (!found) {
      result.Missing.push_back(sourceFolder + name);
      if (Log) Log("No file or folder " + sourceFolder + name);
    }
  }
  // One file alone: its questions offer no answers "to All".
  Memory.OneFile = chosen.size() == 1 && !chosen.front().IsFolder;
  Level(sourceFolder, destFolder, chosen, 1, result);
  return result;
}

bool TWalk::MayEnter(const std::string& sourceFolder, const TWalkEntry& entry, int depth,
                     TWalkResult& result) {
  const std::string path = sourceFolder + entry.Name + "/";
  auto skip = [&](std::vector<std::string>& list, const std::string& why) {
    list.push_back(path);
    result.Skipped++;
    if (Log) Log("Skipped folder " + path + ": " + why);
    return false;
  };
  if (depth > kMaxWalkDepth) {
    return skip(result.TooDeep, "more than " + std::to_string(kMaxWalkDepth) + " levels deep");
  }
  if (entry.IsLink && LinkLeadsUpward(Source.AbsolutePath(sourceFolder), entry.LinkTarget())) {
    return skip(result.Loops,
                "the link to \"" + entry.LinkTarget() + "\" leads back into the folders walked");
  }
  const std::string identity = Source.FolderIdentity(path);
  if (identity.empty()) return true;
  // A folder that is one of the folders it lies in: a server that follows links lists a link
  // to a folder above as a folder of its own.
  for (size_t slash = sourceFolder.find('/'); slash != std::string::npos;
       slash = sourceFolder.find('/', slash + 1)) {
    if (Source.FolderIdentity(sourceFolder.substr(0, slash + 1)) == identity) {
      return skip(result.Loops, "it is a folder it lies in, reached again");
    }
  }
  // Real folders are always walked; a link is not followed into a folder walked already.
  if (!Entered.insert(identity).second && entry.IsLink) {
    return skip(result.Loops, "the link leads to a folder walked already");
  }
  return true;
}

void TWalk::Level(const std::string& sourceFolder, const std::string& destFolder,
                  const std::vector<TWalkEntry>& entries, int depth, TWalkResult& result) {
  const std::vector<TWalkEntry> there =
      Destination.List(destFolder).value_or(std::vector<TWalkEntry>{});
  const TPreferences& preferences = Preferences();
  std::vector<const TWalkEntry*> safe;
  for (const auto& entry : entries) {
    if (entry.Name == "." || entry.Name == "..") continue;
    if (const std::string problem = Template.Upload ? std::string() : LocalNameProblem(entry.Name);
        !problem.empty()) {
      // A name from the server that would leave the destination folder: reported as a
      // failed item, and a folder of that name is never entered.
      const std::string why = "Refused the server's name " + sourceFolder + entry.Name + ": " +
                              problem + "; not transferred";
      if (Log) Log(why);
      auto item = std::make_unique<TTransferItem>(Template);
      item->SourceFolder = sourceFolder;
      item->DestFolder = destFolder;
      item->FileName = entry.Name;
      item->IsFolder = entry.IsFolder ? 1 : 0;
      Queue.AddFailed(item, why);
      result.Refused++;
      continue;
    }
    safe.push_back(&entry);
  }
  for (const TWalkEntry* file : safe) {
    const TWalkEntry& entry = *file;
    if (entry.IsFolder) continue;
    const auto special = [&](const TWalkEntry& other) {
      return other.Special && other.Name == entry.Name;
    };
    if (entry.Special || std::any_of(there.begin(), there.end(), special)) {
      if (Log) {
        Log("Skipped " + sourceFolder + entry.Name + ": " +
            (entry.Special ? kSpecialEntryText
                           : "a pipe, socket or device of that name at the destination"));
      }
      result.Skipped++;
      continue;
    }
    const auto existing = Existing(there, entry.Name);
    const auto offset = DecideQueuing(entry.Name, entry.Size, entry.Modified, existing,
                                      ServerCanResume, preferences, Memory, Questions);
    if (!offset) {
      result.Skipped++;
      continue;
    }
    auto item = std::make_unique<TTransferItem>(Template);
    item->SourceFolder = sourceFolder;
    item->DestFolder = destFolder;
    if (!Template.Upload) item->DestRoot = Root;
    item->FileName = entry.Name;
    item->Size = entry.Size;
    item->FileDate = entry.Modified;
    item->ServerTime = entry.ServerTime;
    item->RestartOffset = *offset;
    item->IsFolder = 0;
    item->DestWasFree = !existing;
    if (Queue.Add(item) < 0) {
      result.Refused++;
    } else {
      result.Queued++;
    }
  }
  // Folders before links to folders, so that a link to a sibling finds it walked already.
  std::vector<const TWalkEntry*> folders;
  for (const TWalkEntry* entry : safe) {
    if (entry->IsFolder && !entry->IsLink) folders.push_back(entry);
  }
  for (const TWalkEntry* entry : safe) {
    if (entry->IsFolder && entry->IsLink) folders.push_back(entry);
  }
  for (const TWalkEntry* folder : folders) {
    const TWalkEntry& entry = *folder;
    const std::string subSource = sourceFolder + entry.Name + "/";
    if (!MayEnter(sourceFolder, entry, depth, result)) continue;
    // Listed before its folder item is queued: a folder that cannot be read leaves no empty
    // copy of itself at the destination.
    const auto contents = Source.List(subSource);
    if (!contents) {
      result.Unlisted.push_back({subSource, Source.LastError()});
      continue;
    }
    auto item = std::make_unique<TTransferItem>(Template);
    item->SourceFolder.clear();
    item->DestFolder = destFolder;
    if (!Template.Upload) item->DestRoot = Root;
    item->FileName = entry.Name;
    item->IsFolder = 1;
    if (Queue.Add(item) < 0) {
      result.Refused++;
      continue;  // nothing of a refused folder is queued
    }
    result.Queued++;
    Level(subSource, destFolder + entry.Name + "/", *contents, depth + 1, result);
  }
}

}  // namespace pelmar
