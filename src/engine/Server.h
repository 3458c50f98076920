#pragma once
// A server as the engine logs on to it: address, account and protection. Queue items and
// connections hold it as one value instead of copying and comparing its fields one by one.

#include <string>

#include "engine/Messages.h"

namespace pelmar {

struct TServer {
  std::string Host{};
  int Port = 21;
  std::string User{};
  std::string Password{};
  std::string Account{};
  TEncryption Encryption = enPlain;
  TProtocol Protocol = prFtp;
  // SFTP: a private key file to offer after the agent's keys (empty: the default keys only).
  std::string KeyFile{};

  // The same log-on in every respect: a connection made for one serves the other.
  bool operator==(const TServer&) const = default;
  // The same site whatever password was typed (how sites and open panes are matched).
  bool SameSite(const TServer& other) const {
    return Host == other.Host && Port == other.Port && User == other.User &&
           Account == other.Account && Encryption == other.Encryption && Protocol == other.Protocol;
  }
};

}  // namespace pelmar
