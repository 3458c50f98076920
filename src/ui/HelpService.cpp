#include "ui/HelpService.h"

namespace pelmar {
namespace {

std::function<void(int)>& Handler() {
  static std::function<void(int)> handler;
  return handler;
}

}  // namespace

void SetHelpHandler(std::function<void(int topic)> handler) {
  Handler() = std::move(handler);
}

void ShowHelpTopic(int topic) {
  if (Handler()) Handler()(topic);
}

}  // namespace pelmar
