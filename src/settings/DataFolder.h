#pragma once
// Where Pelmar keeps its files: $PELMAR_HOME if set, else $XDG_CONFIG_HOME/pelmar, else
// ~/.config/pelmar.

#include <string>

namespace pelmar {

// The data folder with a trailing "/"; created when missing.
std::string DataFolder();

inline constexpr const char* kPreferencesFileName = "pelmar.ini";
inline constexpr const char* kSiteFileName = "Sites.ini";
inline constexpr const char* kLogFileName = "pelmar.log";
// The main window's bounds, view styles and last connections, and the editor command.
inline constexpr const char* kWindowStateFileName = "pelmar-window.ini";
// The transfers not finished yet (SQLite).
inline constexpr const char* kQueueFileName = "queue.sqlite3";
// Server certificates trusted although they failed verification.
inline constexpr const char* kTrustFileName = "TrustedCertificates.txt";

}  // namespace pelmar
