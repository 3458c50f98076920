#include "engine/SshConnection.h"

#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "engine/EventRecords.h"
#include "engine/Messages.h"
#include "platform/Sockets.h"
#include "platform/WinSockErrors.h"

namespace pelmar {
namespace {

// A libssh callback table: all zero, its size set as libssh requires, calling back with `owner`.
template <typename T>
std::unique_ptr<T> NewCallbacks(void* owner) {
  auto table = std::make_unique<T>();
  std::memset(table.get(), 0, sizeof *table);
  ssh_callbacks_init(table.get());
  table->userdata = owner;
  return table;
}

constexpr const char* kAesFirstCiphers =
    "aes128-gcm@openssh.com,aes256-gcm@openssh.com,chacha20-poly1305@openssh.com,aes128-ctr,"
    "aes192-ctr,aes256-ctr";

bool ProcessorHasAes() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("aes");
#else
  return false;
#endif
}

// libssh's "try again" differs between its calls: SSH_AGAIN for most, SSH_AUTH_AGAIN for
// log-on steps.
struct TCString {
  char* Text = nullptr;
  ~TCString() { ssh_string_free_char(Text); }
  std::string Value() const { return Text ? Text : ""; }
};

std::string MethodNames(int methods) {
  std::string names;
  auto add = [&](int bit, const char* name) {
    if (!(methods & bit)) return;
    if (!names.empty()) names += ", ";
    names += name;
  };
  add(SSH_AUTH_METHOD_PUBLICKEY, "publickey");
  add(SSH_AUTH_METHOD_PASSWORD, "password");
  add(SSH_AUTH_METHOD_INTERACTIVE, "keyboard-interactive");
  add(SSH_AUTH_METHOD_GSSAPI_MIC, "gssapi-with-mic");
  add(SSH_AUTH_METHOD_HOSTBASED, "hostbased");
  return names.empty() ? "none" : names;
}

// The host's line in the known hosts files. libssh hands it over only when it holds the
// server's own key, so for a changed key it is read here (one of the same type first); null
// when there is none.
ssh_knownhosts_entry* RememberedEntry(ssh_session session, const std::string& host, int port,
                                      const std::string& type) {
  const std::string pattern = port == 22 ? host : "[" + host + "]:" + std::to_string(port);
  ssh_knownhosts_entry* found = nullptr;
  for (const auto option : {SSH_OPTIONS_KNOWNHOSTS, SSH_OPTIONS_GLOBAL_KNOWNHOSTS}) {
    TCString file;
    if (ssh_options_get(session, option, &file.Text) != SSH_OK) continue;
    std::ifstream in(file.Value());
    std::string line;
    while (std::getline(in, line)) {
      ssh_knownhosts_entry* entry = nullptr;
      if (line.empty() || line[0] == '#' ||
          ssh_known_hosts_parse_line(pattern.c_str(), line.c_str(), &entry) != SSH_OK) {
        continue;
      }
      const char* name = ssh_key_type_to_char(ssh_key_type(entry->publickey));
      const bool sameType = name && type == name;
      if (!found ||
          (sameType && ssh_key_type(found->publickey) != ssh_key_type(entry->publickey))) {
        std::swap(found, entry);
      }
      ssh_knownhosts_entry_free(entry);
    }
  }
  return found;
}

}  // namespace

std::string UserSshFolder() {
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.ssh";
}

TSshConnection::TSshConnection(TWorkerServices& worker) : Worker(worker) {}

TSshConnection::~TSshConnection() {
  Close();
}

int TSshConnection::PassphraseCallback(const char*, char* buffer, size_t length, int, int,
                                       void* self) {
  return static_cast<TSshConnection*>(self)->AskPassphrase(buffer, length);
}

int TSshConnection::AskPassphrase(char* buffer, size_t length) {
  // Each encrypted key asks once per log-on attempt; a person who gives up is not asked again
  // for the keys after it.
  if (PassphrasesAsked < 0 || ++PassphrasesAsked > 8) return -1;
  TThreadQueue& queue = Worker.SharedState().Queue;
  while (queue.Peek(WM_FTPSECRET, true)) {
  }
  auto question = std::make_shared<TPassphraseEventData>();
  question->Host = HostName;
  question->Prompt = "Passphrase of an SSH private key for " + UserName + "@" + HostName;
  Worker.PostEvent(evPassphrase, std::move(question));
  TThreadMessage answer;
  if (!WaitForThreadMessage(Worker.Waits(), WM_FTPSECRET, WM_QUIT, answer) || answer.WParam != 1 ||
      answer.Args.empty() || answer.Args[0].size() + 1 > length) {
    Worker.Log("SSH: keys protected by a passphrase are skipped (none was given)");
    PassphrasesAsked = -1;
    return -1;
  }
  std::memcpy(buffer, answer.Args[0].c_str(), answer.Args[0].size() + 1);
  // The copy in the message goes now rather than with the queue's memory.
  std::fill(answer.Args[0].begin(), answer.Args[0].end(), '\0');
  return 0;
}

template <typename Step>
int TSshConnection::Drive(Step step, const std::string& what) {
  Worker.ArmWatchdog(what);
  for (;;) {
    const auto [rc, again] = step();
    if (!again) {
      Worker.Waits().DisarmWatchdog();
      return rc;
    }
    if (!Wait()) {
      Worker.Waits().DisarmWatchdog();
      return SSH_ERROR;
    }
  }
}

bool TSshConnection::Configure(const TServer& server) {
  Close();
  Session = ssh_new();
  if (!Session) {
    Worker.PostError(0, "The SSH library could not start a session");
    return false;
  }
  const std::string folder = UserSshFolder();
  const std::string knownHosts = folder + "/known_hosts";
  bool off = false;
  ssh_options_set(Session, SSH_OPTIONS_PROCESS_CONFIG, &off);
  ssh_options_set(Session, SSH_OPTIONS_SSH_DIR, folder.c_str());
  ssh_options_set(Session, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());
  if (ssh_options_set(Session, SSH_OPTIONS_HOST, server.Host.c_str()) != SSH_OK) {
    Worker.PostError(0, "Unusable host name for SSH: " + server.Host);
    return false;
  }
  // With AES in the processor, AES-GCM costs the least per byte, and far less than a cipher
  // with a separate MAC (which the library sets up again for every packet). A Ciphers line in
  // the configuration read below still decides.
  if (ProcessorHasAes()) {
    for (const auto option : {SSH_OPTIONS_CIPHERS_C_S, SSH_OPTIONS_CIPHERS_S_C})
      ssh_options_set(Session, option, kAesFirstCiphers);
  }
  // The user's file first, then the system's, as OpenSSH reads them; what the address says
  // explicitly (a user, a port other than 22) wins over both.
  const std::string userConfig = folder + "/config";
  if (ssh_options_parse_config(Session, userConfig.c_str()) != SSH_OK ||
      ssh_options_parse_config(Session, "/etc/ssh/ssh_config") != SSH_OK) {
    Worker.Log("The SSH configuration could not be read: " + ErrorText());
  }
  if (server.Port != 22 && server.Port > 0) {
    const unsigned port = static_cast<unsigned>(server.Port);
    ssh_options_set(Session, SSH_OPTIONS_PORT, &port);
  }
  if (!server.User.empty()) ssh_options_set(Session, SSH_OPTIONS_USER, server.User.c_str());
  if (!server.KeyFile.empty()) {
    // Tried right after the agent's keys, before the defaults.
    ssh_options_set(Session, SSH_OPTIONS_ADD_IDENTITY, server.KeyFile.c_str());
  }
  KeyFile = server.KeyFile;
  Callbacks = NewCallbacks<ssh_callbacks_struct>(this);
  Callbacks->auth_function = &TSshConnection::PassphraseCallback;
  ssh_set_callbacks(Session, Callbacks.get());
  TCString host, user;
  ssh_options_get(Session, SSH_OPTIONS_HOST, &host.Text);
  ssh_options_get(Session, SSH_OPTIONS_USER, &user.Text);
  unsigned port = 22;
  ssh_options_get_port(Session, &port);
  HostName = host.Value().empty() ? server.Host : host.Value();
  UserName = user.Value();
  PortNumber = static_cast<int>(port);
  if (HostName != server.Host) {
    Worker.Log("SSH configuration: " + server.Host + " is " + HostName + ", port " +
               std::to_string(PortNumber));
  }
  return true;
}

bool TSshConnection::Handshake(int socket) {
  // SFTP requests are small packets that must not wait for the acknowledgement of the one
  // before (Nagle's delay stalls a pipelined transfer now and then for tens of milliseconds).
  SocketSendAtOnce(socket);
  ssh_options_set(Session, SSH_OPTIONS_FD, &socket);
  GaveSocket = true;
  OwnedSocket = socket;
  ssh_set_blocking(Session, 0);
  const int rc = Drive(
      [&] {
        const int r = ssh_connect(Session);
        return std::pair{r, r == SSH_AGAIN};
      },
      "in the SSH key exchange with " + HostName);
  if (rc != SSH_OK) {
    if (!Worker.AbortFlags().Aborted) {
      Worker.PostError(
          0, Worker.TimedOut() ? Worker.TimedOutText() : "SSH key exchange failed: " + ErrorText());
    }
    return false;
  }
  const char* banner = ssh_get_serverbanner(Session);
  const char* kex = ssh_get_kex_algo(Session);
  const char* cipher = ssh_get_cipher_out(Session);
  Worker.Log(std::string("SSH: ") + (banner ? banner : "server") + ", key exchange " +
             (kex ? kex : "?") + ", cipher " + (cipher ? cipher : "?"));
  return true;
}

std::string TSshConnection::Fingerprint(void* key) const {
  unsigned char* hash = nullptr;
  size_t length = 0;
  if (ssh_get_publickey_hash(static_cast<ssh_key>(key), SSH_PUBLICKEY_HASH_SHA256, &hash,
                             &length) != SSH_OK) {
    return {};
  }
  TCString text;
  text.Text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
  ssh_clean_pubkey_hash(&hash);
  return text.Value();
}

bool TSshConnection::HostKeyAccepted() {
  ssh_key key = nullptr;
  if (ssh_get_server_publickey(Session, &key) != SSH_OK) {
    Worker.PostError(0, "The server sent no usable host key: " + ErrorText());
    return false;
  }
  const std::string type = ssh_key_type_to_char(ssh_key_type(key));
  const std::string fingerprint = Fingerprint(key);
  ssh_key_free(key);
  ServerKeyText = type + " " + fingerprint;
  const ssh_known_hosts_e state = ssh_session_is_known_server(Session);
  if (state == SSH_KNOWN_HOSTS_OK) {
    Worker.Log("SSH: the host key is known (" + ServerKeyText + ")");
    return true;
  }
  if (state == SSH_KNOWN_HOSTS_CHANGED || state == SSH_KNOWN_HOSTS_OTHER) {
    std::string known = "another key";
    ssh_knownhosts_entry* entry = RememberedEntry(Session, HostName, PortNumber, type);
    if (entry && entry->publickey) {
      known = std::string(ssh_key_type_to_char(ssh_key_type(entry->publickey))) + " " +
              Fingerprint(entry->publickey);
    }
    ssh_knownhosts_entry_free(entry);
    Worker.PostError(0, "WARNING: the host key of " + HostName + " has changed. It was " + known +
                            ", it is now " + ServerKeyText +
                            ". Someone may be intercepting the connection, so nothing was sent. "
                            "If the server's key was changed on purpose, remove its old line "
                            "from " +
                            UserSshFolder() + "/known_hosts.");
    return false;
  }
  if (state == SSH_KNOWN_HOSTS_ERROR) Worker.Log("SSH: known hosts not readable: " + ErrorText());
  Worker.Log("SSH: the host key is not known (" + ServerKeyText + ")");
  // An answer left over from an earlier question must not decide this one.
  TThreadQueue& queue = Worker.SharedState().Queue;
  while (queue.Peek(WM_FTPTRUST, true)) {
  }
  auto question = std::make_shared<TCertificateEventData>();
  question->Host = HostName;
  question->Port = PortNumber;
  question->HostKey = true;
  question->KeyType = type;
  question->Certificate.Fingerprint = fingerprint;
  question->Certificate.Problem = "The server's host key is not known";
  Worker.PostEvent(evCertificate, std::move(question));
  TThreadMessage answer;
  if (!WaitForThreadMessage(Worker.Waits(), WM_FTPTRUST, WM_QUIT, answer) ||
      answer.WParam == tdRefuse) {
    if (!Worker.AbortFlags().Aborted) {
      Worker.PostError(0, "The server's host key was refused; nothing more was sent");
    }
    return false;
  }
  if (answer.WParam == tdTrustAlways) {
    if (ssh_session_update_known_hosts(Session) == SSH_OK) {
      Worker.Log("SSH: the host key was added to " + UserSshFolder() + "/known_hosts");
    } else {
      Worker.Log("SSH: the host key could not be added to known_hosts: " + ErrorText());
    }
  } else {
    Worker.Log("SSH: the host key is trusted for this session");
  }
  return true;
}

bool TSshConnection::Authenticate(const std::string& password) {
  const char* user = nullptr;  // the session's user, from the address or the configuration
  int rc = Drive(
      [&] {
        const int r = ssh_userauth_none(Session, user);
        return std::pair{r, r == SSH_AUTH_AGAIN};
      },
      "logging on to " + HostName);
  if (rc == SSH_AUTH_SUCCESS) return true;
  if (rc == SSH_AUTH_ERROR) {
    if (!Worker.AbortFlags().Aborted) Worker.PostError(0, "SSH log-on failed: " + ErrorText());
    return false;
  }
  const int methods = ssh_userauth_list(Session, user);
  Worker.Log("SSH: the server accepts " + MethodNames(methods));
  if ((methods & SSH_AUTH_METHOD_PUBLICKEY) && TryKeys()) return true;
  if (Worker.AbortFlags().Aborted) return false;
  if ((methods & SSH_AUTH_METHOD_PASSWORD) && !password.empty() && TryPassword(password)) {
    return true;
  }
  if (Worker.AbortFlags().Aborted) return false;
  if ((methods & SSH_AUTH_METHOD_INTERACTIVE) && !password.empty() && TryKeyboard(password)) {
    return true;
  }
  return false;
}

bool TSshConnection::TryKeys() {
  const int rc = Drive(
      [&] {
        const int r = ssh_userauth_publickey_auto(Session, nullptr, nullptr);
        return std::pair{r, r == SSH_AUTH_AGAIN};
      },
      "logging on to " + HostName + " with a key");
  if (rc == SSH_AUTH_SUCCESS) {
    Worker.Log("SSH: logged on with a key as " + UserName);
    return true;
  }
  Worker.Log("SSH: no key was accepted");
  return false;
}

bool TSshConnection::TryPassword(const std::string& password) {
  const int rc = Drive(
      [&] {
        const int r = ssh_userauth_password(Session, nullptr, password.c_str());
        return std::pair{r, r == SSH_AUTH_AGAIN};
      },
      "logging on to " + HostName + " with a password");
  if (rc == SSH_AUTH_SUCCESS) {
    Worker.Log("SSH: logged on with a password as " + UserName);
    return true;
  }
  Worker.Log("SSH: the password was refused");
  return false;
}

bool TSshConnection::TryKeyboard(const std::string& password) {
  // Each round's prompts are answered with the password where they hide the answer (PAM's
  // "Password:"), empty where they echo it; a server asking for more than a few rounds is
  // not asking for a password.
  for (int round = 0; round < 4; ++round) {
    const int rc = Drive(
        [&] {
          const int r = ssh_userauth_kbdint(Session, nullptr, nullptr);
          return std::pair{r, r == SSH_AUTH_AGAIN};
        },
        "logging on to " + HostName);
    if (rc == SSH_AUTH_SUCCESS) {
      Worker.Log("SSH: logged on (keyboard-interactive) as " + UserName);
      return true;
    }
    if (rc != SSH_AUTH_INFO) break;
    const int prompts = ssh_userauth_kbdint_getnprompts(Session);
    for (int i = 0; i < prompts; ++i) {
      char echo = 0;
      ssh_userauth_kbdint_getprompt(Session, static_cast<unsigned>(i), &echo);
      ssh_userauth_kbdint_setanswer(Session, static_cast<unsigned>(i),
                                    echo ? "" : password.c_str());
    }
  }
  Worker.Log("SSH: the password was refused (keyboard-interactive)");
  return false;
}

bool TSshConnection::OpenSftpChannel() {
  Channel = ssh_channel_new(Session);
  if (!Channel) {
    Worker.PostError(0, "SSH channel could not be made: " + ErrorText());
    return false;
  }
  int rc = Drive(
      [&] {
        const int r = ssh_channel_open_session(Channel);
        return std::pair{r, r == SSH_AGAIN};
      },
      "opening an SSH channel");
  if (rc == SSH_OK) {
    rc = Drive(
        [&] {
          const int r = ssh_channel_request_subsystem(Channel, "sftp");
          return std::pair{r, r == SSH_AGAIN};
        },
        "starting the SFTP subsystem");
  }
  if (rc != SSH_OK) {
    if (!Worker.AbortFlags().Aborted) {
      Worker.PostError(0, Worker.TimedOut() ? Worker.TimedOutText()
                                            : "The server offers no SFTP: " + ErrorText());
    }
    return false;
  }
  ChannelCallbacks = NewCallbacks<ssh_channel_callbacks_struct>(this);
  ChannelCallbacks->channel_data_function = &TSshConnection::DataCallback;
  ssh_set_channel_callbacks(Channel, ChannelCallbacks.get());
  return true;
}

int TSshConnection::DataCallback(ssh_session_struct*, ssh_channel_struct*, void* data,
                                 uint32_t length, int isStderr, void* self) {
  auto& connection = *static_cast<TSshConnection*>(self);
  // The subsystem's error stream carries nothing SFTP reads; it is taken and dropped.
  if (!isStderr && connection.Receiver) {
    connection.Receiver(static_cast<const char*>(data), length);
    connection.Received += length;
  }
  return static_cast<int>(length);
}

long TSshConnection::Send(const char* data, size_t length) {
  const uint32_t window = ssh_channel_window_size(Channel);
  if (window == 0) {
    // Let libssh read the server's window adjustments.
    if (ssh_channel_poll(Channel, 0) == SSH_ERROR) return -1;
    if (ssh_channel_window_size(Channel) == 0) return 0;
  }
  const int n = ssh_channel_write(Channel, data, static_cast<uint32_t>(length));
  return n < 0 ? -1 : n;
}

long TSshConnection::Receive() {
  // Handles the packets the socket holds; their data reaches the receiver on the way.
  const uint64_t before = Received;
  const int rc = ssh_channel_poll(Channel, 0);
  const long delivered = static_cast<long>(Received - before);
  if (delivered > 0) return delivered;
  if (rc == SSH_ERROR || rc == SSH_EOF || ssh_channel_is_eof(Channel) ||
      ssh_channel_is_closed(Channel))
    return -1;
  return 0;
}

bool TSshConnection::Wait() {
  const int fd = ssh_get_fd(Session);
  if (fd < 0) return false;
  short events = POLLIN;
  if (ssh_get_poll_flags(Session) & SSH_WRITE_PENDING) events |= POLLOUT;
  if (!WaitForSocket(Worker.Waits(), fd, events)) return false;
  // Let libssh write what it holds once the socket takes it.
  if (events & POLLOUT) ssh_blocking_flush(Session, 0);
  return true;
}

int TSshConnection::Socket() const {
  return Session ? ssh_get_fd(Session) : -1;
}

std::string TSshConnection::ErrorText() const {
  const char* text = Session ? ssh_get_error(Session) : nullptr;
  return text && *text ? text : "unknown error";
}

void TSshConnection::Close() {
  if (Channel) {
    if (ChannelCallbacks) ssh_remove_channel_callbacks(Channel, ChannelCallbacks.get());
    ssh_channel_free(Channel);
    Channel = nullptr;
  }
  if (Session) {
    if (ssh_is_connected(Session)) ssh_disconnect(Session);
    ssh_free(Session);
    Session = nullptr;
    GaveSocket = false;
  }
  // libssh leaves a socket it was given (SSH_OPTIONS_FD) open, even past ssh_free: without
  // this every finished SFTP connection stayed established until the program ended.
  if (OwnedSocket >= 0) {
    ::close(OwnedSocket);
    OwnedSocket = -1;
  }
}

}  // namespace pelmar
