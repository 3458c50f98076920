#include "text/PaneTexts.h"

#include <cmath>
#include <cstdio>

#include "text/TextUtils.h"

namespace pelmar {

std::string SizeText(int64_t bytes) {
  if (bytes == 1) return "1 Byte";
  if (bytes < 1024) return ThousandsText(std::to_string(std::max<int64_t>(bytes, 0))) + " Bytes";
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  while (unit + 1 < std::size(kUnits) && value >= 1024.0) {
    value /= 1024.0;
    ++unit;
  }
  char text[64];
  if (value >= 999.5) {
    std::snprintf(text, sizeof text, "%.0f%s", std::floor(value), kUnits[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.3g%s", value, kUnits[unit]);
  }
  return text;
}

std::string EntriesText(int count, int64_t totalBytes) {
  return std::to_string(count) + (count == 1 ? " Entry, " : " Entries, ") + SizeText(totalBytes);
}

std::string SelectedText(int count, int64_t selectedBytes) {
  return std::to_string(count) + (count == 1 ? " Item Selected, " : " Items Selected, ") +
         SizeText(selectedBytes);
}

std::string RemoteSizeColumn(int64_t bytes) {
  return ThousandsText(std::to_string((std::max<int64_t>(bytes, 0) + 1023) / 1024)) + "KB";
}

std::string RemoteTypeColumn(const std::string& listedName, bool folder, bool link,
                             const std::string& desktopTypeName) {
  if (folder && !link) return "File Folder";
  if (link) return "Shortcut to " + LinkTarget(listedName);
  if (!desktopTypeName.empty()) return desktopTypeName;
  const size_t dot = listedName.find_last_of('.');
  if (dot == std::string::npos || dot + 1 == listedName.size()) return "File";
  return listedName.substr(dot + 1) + " File";
}

}  // namespace pelmar
