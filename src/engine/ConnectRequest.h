#pragma once
// A log-on request as one value: the server, and the firewall it goes through. Requests travel
// to the worker as strings; this is the one place that knows their order.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Server.h"

namespace pelmar {

struct TConnectRequest {
  TServer Server{};
  uint8_t FirewallType = 0;
  std::string FirewallHost{};
  int FirewallPort = 21;
  std::string FirewallUser{};
  std::string FirewallPassword{};

  std::vector<std::string> ToArgs() const;
  // Numbers that do not read as numbers become their defaults.
  static TConnectRequest FromArgs(const std::vector<std::string>& args);
};

}  // namespace pelmar
