#include "engine/EngineHooks.h"

#include <cstdio>

namespace pelmar {
namespace {

TEngineMessageHook& Hook() {
  static TEngineMessageHook hook;
  return hook;
}

}  // namespace

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
