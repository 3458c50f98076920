#pragma once
// The desktop's event-sound service (libcanberra): a file played asynchronously, a new sound
// cutting off the one still playing; silent when the file is missing or no sound server runs.

#include <memory>

#include "platform/SoundPlayer.h"

namespace pelmar {

std::shared_ptr<ISoundPlayer> MakeDesktopSoundPlayer();

}  // namespace pelmar
