#pragma once

#include <stdexcept>
#include <string>

namespace pelmar {

// The socket layer could not be started for a worker.
class ESocketException : public std::runtime_error {
 public:
  explicit ESocketException(const std::string& message) : std::runtime_error(message) {}
};

// A control-connection or log-on failure; the request dispatcher closes both sockets.
class EControlSocketException : public ESocketException {
 public:
  explicit EControlSocketException(const std::string& message = "") : ESocketException(message) {}
};

}  // namespace pelmar
