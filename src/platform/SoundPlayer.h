#pragma once
// Event sounds: the panes and the main window ask for a wave file by name; the application
// installs the player (a silent one until then).

#include <memory>
#include <string>

namespace pelmar {

class ISoundPlayer {
 public:
  virtual ~ISoundPlayer() = default;
  // Plays the file asynchronously, cutting off the previous sound; never falls back to a
  // system default sound when the file is missing.
  virtual void Play(const std::string& fileName) = 0;
};

void SetSoundPlayer(std::shared_ptr<ISoundPlayer> player);
// Nothing happens for an empty name.
void PlaySound(const std::string& fileName);

}  // namespace pelmar
