#pragma once
// How the engine shows the few messages it cannot deliver as events: a failed post to a
// worker, and an exception thrown by an event handler. The application installs a message
// box; the default writes to stderr.

#include <functional>
#include <string>

namespace pelmar {

using TEngineMessageHook = std::function<void(const std::string& text)>;

void SetEngineMessageHook(TEngineMessageHook hook);
void ShowEngineMessage(const std::string& text);

}  // namespace pelmar
