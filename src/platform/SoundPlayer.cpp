#include "platform/SoundPlayer.h"

namespace pelmar {
namespace {

std::shared_ptr<ISoundPlayer>& Player() {
  static std::shared_ptr<ISoundPlayer> player;
  return player;
}

}  // namespace

void SetSoundPlayer(std::shared_ptr<ISoundPlayer> player) {
  Player() = std::move(player);
}

void PlaySound(const std::string& fileName) {
  if (fileName.empty() || !Player()) return;
  Player()->Play(fileName);
}

}  // namespace pelmar
