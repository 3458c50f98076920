#pragma once
// Texts both panes show: sizes, the status bar's entry and selection texts, and the columns of
// a remote item.

#include <cstdint>
#include <string>

#include "platform/DateTime.h"

namespace pelmar {

// "1 Byte", "1,023 Bytes", "1.5KB", "10KB", "3.2MB", "1.5GB", "2TB": three significant digits
// above 1 KB, no blank before the unit. A value of 1000 or more of a unit is written whole
// ("1022KB"), never in exponent form.
std::string SizeText(int64_t bytes);

// "3 Entries, 1.5KB" / "1 Entry, 1 Byte".
std::string EntriesText(int count, int64_t totalBytes);
// "0 Items Selected, 0 Bytes" / "1 Item Selected, 12KB".
std::string SelectedText(int count, int64_t selectedBytes);

// The Size column of a remote file: kilobytes rounded up, with thousands separators, "KB"
// behind ("1KB" for 1 byte, "0KB" for an empty file).
std::string RemoteSizeColumn(int64_t bytes);
// The Type column: "File Folder", "Shortcut to " + target, or the shell's type name; when the
// desktop knows none, the extension and " File" ("xyz File"), or "File".
std::string RemoteTypeColumn(const std::string& listedName, bool folder, bool link,
                             const std::string& desktopTypeName);

}  // namespace pelmar
