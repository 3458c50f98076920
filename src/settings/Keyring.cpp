#include "settings/Keyring.h"

#include <libsecret/secret.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace pelmar {
namespace {

const SecretSchema* SiteSchema() {
  static const SecretSchema schema = {
      .name = "org.pelmar.Site",
      .flags = SECRET_SCHEMA_NONE,
      .attributes = {{"site", SECRET_SCHEMA_ATTRIBUTE_STRING},
                     {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
                     {"port", SECRET_SCHEMA_ATTRIBUTE_STRING},
                     {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                     {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
      .reserved = 0,
      .reserved1 = nullptr,
      .reserved2 = nullptr,
      .reserved3 = nullptr,
      .reserved4 = nullptr,
      .reserved5 = nullptr,
      .reserved6 = nullptr,
      .reserved7 = nullptr,
  };
  return &schema;
}

struct THashTableDeleter {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using TAttributes = std::unique_ptr<GHashTable, THashTableDeleter>;

// The table borrows the key's strings: it must not outlive `key`.
TAttributes Attributes(const TKeyringKey& key) {
  TAttributes table(g_hash_table_new(g_str_hash, g_str_equal));
  auto put = [&](const char* name, const std::string& value) {
    g_hash_table_insert(table.get(), const_cast<char*>(name), const_cast<char*>(value.c_str()));
  };
  put("site", key.Site);
  put("host", key.Host);
  put("port", key.Port);
  put("user", key.User);
  return table;
}

std::string TakeError(GError* error) {
  std::string text = error && error->message ? error->message : "unknown error";
  if (error) g_error_free(error);
  return text;
}

class TSecretServiceStore : public IPasswordStore {
 public:
  bool Store(const TKeyringKey& key, const std::string& password, std::string& error) override {
    GError* failure = nullptr;
    const std::string label = "Pelmar site " + key.Site + " (" + key.User + "@" + key.Host + ")";
    const gboolean stored =
        secret_password_storev_sync(SiteSchema(), Attributes(key).get(), SECRET_COLLECTION_DEFAULT,
                                    label.c_str(), password.c_str(), nullptr, &failure);
    if (stored) return true;
    error = TakeError(failure);
    return false;
  }

  std::optional<std::string> Lookup(const TKeyringKey& key, std::string& error) override {
    GError* failure = nullptr;
    gchar* found =
        secret_password_lookupv_sync(SiteSchema(), Attributes(key).get(), nullptr, &failure);
    if (failure) {
      error = TakeError(failure);
      return std::nullopt;
    }
    if (!found) return std::nullopt;
    std::string password = found;
    secret_password_free(found);
    return password;
  }

  void Remove(const TKeyringKey& key) override {
    GError* failure = nullptr;
    secret_password_clearv_sync(SiteSchema(), Attributes(key).get(), nullptr, &failure);
    if (failure) g_error_free(failure);
  }
};

// Without a session bus libsecret would try to start one (through X11 autolaunch), which on
// a machine without a desktop may hang or start stray daemons.
bool HasSessionBus() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) {
    return true;
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  struct stat info {};
  return ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

IPasswordStore* DesktopKeyring() {
  static TSecretServiceStore store;
  const char* choice = std::getenv("PELMAR_KEYRING");
  if (choice && std::string(choice) == "off") return nullptr;
  return HasSessionBus() ? &store : nullptr;
}

}  // namespace pelmar
