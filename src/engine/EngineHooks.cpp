#include "engine/EngineHooks.h"

#include <cstdio>

namespace pelmar {
namespace {

TEngineMessageHook& Hook() {
  static TEngineMessageHook hook;
  return hook;
}

TCertificateHook& CertificateHook() {
  static TCertificateHook hook;
  return hook;
}

TPassphraseHook& PassphraseHook() {
  static TPassphraseHook hook;
  return hook;
}

}  // namespace

void SetPassphraseHook(TPassphraseHook hook) {
  PassphraseHook() = std::move(hook);
}

bool AskForPassphrase(const TPassphraseEventData& question, TPassphraseAnswer answer) {
  if (!PassphraseHook()) return false;
  PassphraseHook()(question, std::move(answer));
  return true;
}

void SetCertificateHook(TCertificateHook hook) {
  CertificateHook() = std::move(hook);
}

bool AskAboutCertificate(const TCertificateEventData& question,
                         std::function<void(TTrustDecision)> answer) {
  if (!CertificateHook()) return false;
  CertificateHook()(question, std::move(answer));
  return true;
}

void SetEngineMessageHook(TEngineMessageHook hook) {
  Hook() = std::move(hook);
}

void ShowEngineMessage(const std::string& text) {
  if (Hook()) {
    Hook()(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

}  // namespace pelmar
