#pragma once
// Site passwords in the desktop keyring (the freedesktop Secret Service: GNOME Keyring,
// KWallet, KeePassXC), one item per site with the attributes site, host, port and user.

#include <optional>
#include <string>

namespace pelmar {

struct TKeyringKey {
  std::string Site;
  std::string Host;
  std::string Port;
  std::string User;
  bool operator==(const TKeyringKey&) const = default;
};

class IPasswordStore {
 public:
  virtual ~IPasswordStore() = default;
  // False with `error` set when the store refused or could not be reached.
  virtual bool Store(const TKeyringKey& key, const std::string& password, std::string& error) = 0;
  // The stored password; nullopt when there is none, with `error` set when the store could
  // not be asked.
  virtual std::optional<std::string> Lookup(const TKeyringKey& key, std::string& error) = 0;
  virtual void Remove(const TKeyringKey& key) = 0;
};

// The Secret Service of this session through libsecret; null when there is no session bus to
// reach one through (no desktop session), or when PELMAR_KEYRING=off asks for none.
IPasswordStore* DesktopKeyring();

}  // namespace pelmar
