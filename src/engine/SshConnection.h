#pragma once
// One SSH connection for the file transfer subsystem, on libssh: the user's OpenSSH
// configuration, the key exchange, the host key check against known_hosts, the log-on, and the
// channel's bytes. libssh runs non-blocking; every wait is the worker's, so an abort or the
// time-out ends it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/Server.h"
#include "engine/WorkerServices.h"

struct ssh_session_struct;
struct ssh_channel_struct;
struct ssh_callbacks_struct;
struct ssh_channel_callbacks_struct;

namespace pelmar {

// The folder of the user's OpenSSH files: $HOME/.ssh (HOME, not the password database, so that
// a test or a second profile can have its own).
std::string UserSshFolder();

class TSshConnection {
 public:
  explicit TSshConnection(TWorkerServices& worker);
  ~TSshConnection();
  TSshConnection(const TSshConnection&) = delete;
  TSshConnection& operator=(const TSshConnection&) = delete;

  // Reads ~/.ssh/config (then the system's) for the server's host: an alias's HostName, Port,
  // User and IdentityFile. False, with the reason logged, when the options do not take.
  bool Configure(const TServer& server);
  // What Configure made of the server: where to connect and as whom.
  const std::string& Host() const { return HostName; }
  int Port() const { return PortNumber; }
  const std::string& User() const { return UserName; }

  // Takes over the connected socket (libssh closes it) and runs the key exchange.
  bool Handshake(int socket);
  // Known hosts: a known key goes on; an unknown one is asked about (the certificate question,
  // marked as a host key); a changed one is refused before anything about the user is sent.
  bool HostKeyAccepted();
  // Agent, the site's key file, the default keys, then password and keyboard-interactive.
  bool Authenticate(const std::string& password);
  bool OpenSftpChannel();

  // Channel bytes. Send takes what the channel's window allows (0 when none) or -1. Arriving
  // bytes go to the receiver straight from libssh's packet, without a copy of their own;
  // Receive reads what the socket holds and says how many bytes went to the receiver (0 when
  // none) or -1 at the channel's end or on an error.
  using TReceiver = std::function<void(const char* data, size_t length)>;
  void SetReceiver(TReceiver receiver) { Receiver = std::move(receiver); }
  long Send(const char* data, size_t length);
  long Receive();
  // Waits until the connection can move bytes again (readable, or writable when output is
  // pending). False when aborted, timed out or broken.
  bool Wait();
  int Socket() const;
  // Handshake() handed libssh the socket: Close() closes it.
  bool HoldsSocket() const { return Session && GaveSocket; }
  std::string ErrorText() const;
  // Closes the channel and the connection (the socket too).
  void Close();

 private:
  // Runs a libssh step that may answer SSH_AGAIN until it answers something else.
  template <typename Step>
  int Drive(Step step, const std::string& what);
  bool TryKeys();
  bool TryPassword(const std::string& password);
  bool TryKeyboard(const std::string& password);
  std::string Fingerprint(void* key) const;
  // libssh's question for a key's passphrase, put to a person through the component.
  static int PassphraseCallback(const char* prompt, char* buffer, size_t length, int echo,
                                int verify, void* self);
  int AskPassphrase(char* buffer, size_t length);
  static int DataCallback(ssh_session_struct* session, ssh_channel_struct* channel, void* data,
                          uint32_t length, int isStderr, void* self);

  TWorkerServices& Worker;
  ssh_session_struct* Session = nullptr;
  ssh_channel_struct* Channel = nullptr;
  std::string HostName;
  int PortNumber = 22;
  std::string UserName;
  std::string KeyFile;
  std::string ServerKeyText;
  bool GaveSocket = false;
  int OwnedSocket = -1;  // the worker's socket, which Close() closes (libssh does not)
  std::unique_ptr<ssh_callbacks_struct> Callbacks;
  std::unique_ptr<ssh_channel_callbacks_struct> ChannelCallbacks;
  TReceiver Receiver;
  uint64_t Received = 0;
  int PassphrasesAsked = 0;  // "ssh-ed25519 SHA256:...", for the log
};

}  // namespace pelmar
