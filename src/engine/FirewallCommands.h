#pragma once
// The four ways of logging on through a firewall, by firewall type.

#include <string>

namespace pelmar {

enum TFirewallType : int {
  ftSite = 0,
  ftProxy = 1,
  ftUserWithLogin = 2,
  ftUserWithoutLogin = 3,
};

struct TFirewallData {
  bool LoginFirst;           // log on to the firewall itself with USER/PASS first
  const char* FirstCommand;  // filled with the target "host:port"; "" when none
  const char* UserCommand;   // filled with the user and then the target
};

inline constexpr TFirewallData FirewallCommands[4] = {
    {true, "SITE %s", "USER %s"},
    {false, "OPEN %s", "USER %s"},
    {true, "", "USER %s@%s"},
    {false, "", "USER %s@%s"},
};

// The entry for a firewall type; an unknown type is treated as ftSite.
const TFirewallData& FirewallCommandFor(int firewallType);

// Fills the %s markers of `format` with `first` and then `second`; other text is kept.
std::string FormatFirewallCommand(const char* format, const std::string& first,
                                  const std::string& second);

}  // namespace pelmar
