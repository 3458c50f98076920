#pragma once
// Files fetched from a server to be viewed, opened or edited go into a folder of this run
// only: made with mkdtemp (mode 0700) under $XDG_RUNTIME_DIR when that is usable, else under
// the system's temporary folder, and removed at exit. No other user can place a link where
// such a file is written, and nothing is ever written through a link that is there.

#include <string>

namespace pelmar {

// The folder, with a trailing "/": made at the first call (and again after
// RemovePrivateFolder); empty when none could be made.
std::string PrivateFolder();

// `name` in the private folder (in its sub-folder `sub` when one is given, made when missing)
// with nothing else in its place: whatever is there and is not a regular file (a link, a
// folder) is removed first, a link without being followed. Empty when there is no folder.
std::string PrivateFilePath(const std::string& name, const std::string& sub = {});

// Removes the folder and everything in it; links are removed, never followed. Runs at exit
// once the folder was made.
void RemovePrivateFolder();

// Where the folder is made, with a trailing "/": `runtimeFolder` ($XDG_RUNTIME_DIR) when it
// is an absolute path of a real folder of this user that no one else may enter, else the
// system's temporary folder.
std::string PrivateFolderParent(const char* runtimeFolder);

}  // namespace pelmar
