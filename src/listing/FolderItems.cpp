#include "listing/FolderItems.h"

#include "text/TextUtils.h"

namespace pelmar {

bool LinkLooksLikeFolder(const std::string& name) {
  const std::string target = LinkTarget(name);
  // "." and ".." (also at the end of a path, or with a trailing "/") name folders, though
  // they look like an extension.
  const size_t slash = target.find_last_of('/');
  const std::string last = slash == std::string::npos ? target : target.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return true;
  return last.find('.') == std::string::npos;
}

int TFolderItems::Add(const TRemoteItem& item) {
  const bool listedAsFolder = (item.Attributes & iaFolder) != 0;
  // A link is matched by its own name, not by " -> target" behind it.
  if (!listedAsFolder && !MatchesMask(LinkName(item.Name), Masks)) return -1;
  if (item.Name == "." || item.Name == "..") return -1;
  TItemRecord record{item.Attributes, item.Size, item.Modified, item.Unique};
  if ((item.Attributes & iaLink) && LinkLooksLikeFolder(item.Name)) record.Attributes |= iaFolder;
  const int index = Cache.Add(record);
  NameList.emplace_back(item.Name, index);
  Total += item.Size;
  if (listedAsFolder && OnFolderListed) OnFolderListed(item.Name);
  return index;
}

void TFolderItems::Clear() {
  NameList.clear();
  Total = 0;
}

}  // namespace pelmar
