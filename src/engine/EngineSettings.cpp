#include "engine/EngineSettings.h"

namespace pelmar {

TEngineSettings& EngineSettings() {
  // Never destroyed: workers that outlive main() may still read it.
  static auto* settings = new TEngineSettings;
  return *settings;
}

}  // namespace pelmar
