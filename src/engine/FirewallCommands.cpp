#include "engine/FirewallCommands.h"

#include <string_view>

namespace pelmar {

const TFirewallData& FirewallCommandFor(int firewallType) {
  if (firewallType < 0 || firewallType > 3) return FirewallCommands[ftSite];
  return FirewallCommands[firewallType];
}

std::string FormatFirewallCommand(const char* format, const std::string& first,
                                  const std::string& second) {
  std::string out;
  int filled = 0;
  for (std::string_view rest(format); !rest.empty();) {
    if (rest.substr(0, 2) == "%s") {
      out += filled++ == 0 ? first : second;
      rest.remove_prefix(2);
    } else {
      out += rest.front();
      rest.remove_prefix(1);
    }
  }
  return out;
}

}  // namespace pelmar
