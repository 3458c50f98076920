#pragma once
// Help topics by number; the help window registers itself here when it exists.

#include <functional>

namespace pelmar {

inline constexpr const char* kHelpFile = "Pelmar.hlp";

void SetHelpHandler(std::function<void(int topic)> handler);
// Opens a topic of the help file (does nothing until a help window is registered).
void ShowHelpTopic(int topic);

}  // namespace pelmar
