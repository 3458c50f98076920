#include "ui/DesktopSound.h"

#include <canberra.h>

namespace pelmar {
namespace {

class TCanberraPlayer : public ISoundPlayer {
 public:
  ~TCanberraPlayer() override {
    if (Context) ca_context_destroy(Context);
  }
  void Play(const std::string& file) override {
    if (!Context && !Failed) Failed = ca_context_create(&Context) != CA_SUCCESS;
    if (!Context) return;
    // One id for all our sounds, so cancelling it cuts off whatever still plays. Errors
    // (no such file, no sound server) are not worth a message: the sound simply is not heard.
    constexpr uint32_t kEventSound = 1;
    ca_context_cancel(Context, kEventSound);
    ca_context_play(Context, kEventSound, CA_PROP_MEDIA_FILENAME, file.c_str(), nullptr);
  }

 private:
  ca_context* Context = nullptr;
  bool Failed = false;
};

}  // namespace

std::shared_ptr<ISoundPlayer> MakeDesktopSoundPlayer() {
  return std::make_shared<TCanberraPlayer>();
}

}  // namespace pelmar
