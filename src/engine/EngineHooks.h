#pragma once
// How the engine shows the few messages it cannot deliver as events: a failed post to a
// worker, and an exception thrown by an event handler. The application installs a message
// box; the default writes to stderr.

#include <functional>
#include <optional>
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

// Asks a person for the passphrase of an SSH private key, for every component; the answer is
// nothing to give up on that key. Without a hook no passphrase is asked for (the key is
// skipped). Runs on the event target's thread; may answer later, once.
using TPassphraseAnswer = std::function<void(std::optional<std::string>)>;
using TPassphraseHook =
    std::function<void(const TPassphraseEventData& question, TPassphraseAnswer answer)>;
void SetPassphraseHook(TPassphraseHook hook);
// False when no hook is installed.
bool AskForPassphrase(const TPassphraseEventData& question, TPassphraseAnswer answer);

}  // namespace pelmar
