#pragma once
// How the engine shows the few messages it cannot deliver as events: a failed post to a
// worker, and an exception thrown by an event handler. The application installs a message
// box; the default writes to stderr.

#include <functional>
#include <string>

#include "engine/EventRecords.h"
#include "engine/Messages.h"

namespace pelmar {

using TEngineMessageHook = std::function<void(const std::string& text)>;

void SetEngineMessageHook(TEngineMessageHook hook);
void ShowEngineMessage(const std::string& text);

// Asks a person about a server certificate for every component without its own handler
// (the transfer queue's connections too). The hook may answer later; it runs on the event
// target's thread.
using TCertificateHook =
    std::function<void(const TCertificateEventData& question, std::function<void(TTrustDecision)>)>;
void SetCertificateHook(TCertificateHook hook);
// False when no hook is installed.
bool AskAboutCertificate(const TCertificateEventData& question,
                         std::function<void(TTrustDecision)> answer);

}  // namespace pelmar
