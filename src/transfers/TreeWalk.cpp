#include "transfers/TreeWalk.h"
#include "platform/AsciiText.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "settings/Preferences.h"
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

}  // namespace

std::optional<std::vector<TWalkEntry>> TLocalFolderLister::List(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) return std::nullopt;
  std::vector<TWalkEntry> entries;
  for (const auto& entry : it) {
    TWalkEntry walked;
    walked.Name = entry.path().filename().string();
    walked.IsFolder = entry.is_directory(error);
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

TWalkResult TWalk::Run(const std::string& sourceFolder, const std::string& destFolder,
                       const std::vector<std::string>& selection) {
  TWalkResult result;
  const auto listed = Source.List(sourceFolder);
  if (!listed) {
    result.Unlisted.push_back(sourceFolder);
    return result;
  }
  std::vector<TWalkEntry> chosen;
  for (const auto& entry : *listed) {
    if (std::find(selection.begin(), selection.end(), entry.Name) != selection.end()) {
      chosen.push_back(entry);
    }
  }
  Level(sourceFolder, destFolder, chosen, result);
  return result;
}

void TWalk::Level(const std::string& sourceFolder, const std::string& destFolder,
                  const std::vector<TWalkEntry>& entries, TWalkResult& result) {
  const std::vector<TWalkEntry> there =
      Destination.List(destFolder).value_or(std::vector<TWalkEntry>{});
  const TPreferences& preferences = Preferences();
  for (const auto& entry : entries) {
    if (entry.IsFolder || entry.Name == "." || entry.Name == "..") continue;
    const auto offset =
        DecideQueuing(entry.Name, entry.Size, entry.Modified, Existing(there, entry.Name),
                      ServerCanResume, preferences, Memory, Questions);
    if (!offset) {
      result.Skipped++;
      continue;
    }
    auto item = std::make_unique<TTransferItem>(Template);
    item->SourceFolder = sourceFolder;
    item->DestFolder = destFolder;
    item->FileName = entry.Name;
    item->Size = entry.Size;
    item->FileDate = entry.Modified;
    item->RestartOffset = *offset;
    item->IsFolder = 0;
    if (Queue.Add(item) < 0) {
      result.Refused++;
    } else {
      result.Queued++;
    }
  }
  for (const auto& entry : entries) {
    if (!entry.IsFolder || entry.Name == "." || entry.Name == "..") continue;
    auto item = std::make_unique<TTransferItem>(Template);
    item->SourceFolder.clear();
    item->DestFolder = destFolder;
    item->FileName = entry.Name;
    item->IsFolder = 1;
    if (Queue.Add(item) < 0) {
      result.Refused++;
      continue;  // nothing of a refused folder is queued
    }
    result.Queued++;
    const std::string subSource = sourceFolder + entry.Name + "/";
    const auto contents = Source.List(subSource);
    if (!contents) {
      result.Unlisted.push_back(subSource);
      continue;
    }
    Level(subSource, destFolder + entry.Name + "/", *contents, result);
  }
}

}  // namespace pelmar
