#pragma once
// A scripted FTP server in the test process, on 127.0.0.1 and a free port. Each accepted
// control connection plays one script: replies to send (each Send is one TCP segment), pauses,
// commands to read, closing, and active-mode data connections back to the address the client
// announced with PORT, or passive ones the client opens. Every command received is recorded, so a
// test can assert the exact dialogue. Connections beyond the given scripts are closed at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelmar::test {

struct TScriptStep {
  enum class TKind {
    Send,         // Text as one segment
    Pause,        // wait Millis
    Read,         // read one command line
    Close,        // close the control connection, ending the script
    SendData,     // connect to the PORT address, send Text (in Segments pieces), close
    ReceiveData,  // connect to the PORT address, read until the client closes
    DataFrom,     // connect to the PORT address from Text (another local address), send "x"
    WaitClose,    // read commands until the client closes the connection
    Gate,         // wait until the test calls OpenGate()
    DataHold,     // connect to the PORT address, send Text, keep the connection open
    CloseData,    // close the connection DataHold opened
    ResetData,    // reset the connection DataHold opened (RST instead of FIN)
    DataMore,     // send Text on the connection DataHold opened
    Passive,      // listen on a free port and reply Text with it; data steps then accept there
    PassiveFull,  // as Passive, with the port's backlog filled: the client's connect hangs
  };
  TKind Kind;
  std::string Text;
  int Millis = 0;
};

class TScript {
  using TKind = TScriptStep::TKind;

 public:
  // Sends one reply line (CR LF appended) as its own segment.
  TScript& Reply(const std::string& line) { return Send(line + "\r\n"); }
  // Sends raw bytes as one segment.
  TScript& Send(const std::string& bytes) { return Add(TKind::Send, bytes); }
  TScript& Pause(int millis) { return Add(TKind::Pause, "", millis); }
  TScript& Read() { return Add(TKind::Read); }
  // Reads one command, then replies.
  TScript& On(const std::string& reply) { return Read().Reply(reply); }
  // Reads one command before each reply.
  TScript& OnEach(std::initializer_list<const char*> replies) {
    for (const char* reply : replies) On(reply);
    return *this;
  }
  // Answers FEAT and the resume probe (REST 100, REST 0) as a server without features does.
  TScript& Probe() { return OnEach({"500 ?", "350 R", "350 R"}); }
  // Appends another script's steps.
  TScript& Then(const TScript& more) {
    Steps.insert(Steps.end(), more.Steps.begin(), more.Steps.end());
    return *this;
  }
  bool Empty() const { return Steps.empty(); }
  TScript& Close() { return Add(TKind::Close); }
  TScript& SendData(const std::string& bytes) { return Add(TKind::SendData, bytes); }
  TScript& ReceiveData() { return Add(TKind::ReceiveData); }
  TScript& DataFrom(const std::string& sourceAddress) {
    return Add(TKind::DataFrom, sourceAddress);
  }
  TScript& WaitClose() { return Add(TKind::WaitClose); }
  TScript& Gate() { return Add(TKind::Gate); }
  TScript& DataHold(const std::string& bytes) { return Add(TKind::DataHold, bytes); }
  TScript& CloseData() { return Add(TKind::CloseData); }
  TScript& ResetData() { return Add(TKind::ResetData); }
  TScript& DataMore(const std::string& bytes) { return Add(TKind::DataMore, bytes); }
  // Listens on a free port of 127.0.0.1 and sends the reply `line`, "{port}" replaced by the
  // port and "{p1}"/"{p2}" by its two bytes; the data steps after it accept the client's
  // connection there instead of connecting back.
  TScript& Passive(const std::string& line) { return Add(TKind::Passive, line); }
  // As Passive, but nothing accepts there and the backlog is full, so a connection to the
  // port never completes (the kernel drops its handshake).
  TScript& PassiveFull(const std::string& line) { return Add(TKind::PassiveFull, line); }

  std::vector<TScriptStep> Steps;

 private:
  TScript& Add(TKind kind, const std::string& text = "", int millis = 0) {
    Steps.push_back({kind, text, millis});
    return *this;
  }
};

class TScriptedFtpServer {
 public:
  // One connection after the other: connection k+1 is accepted when script k has ended; or,
  // `concurrently`, every connection played as soon as it comes, beside the others.
  explicit TScriptedFtpServer(std::vector<TScript> scripts, bool concurrently = false);
  ~TScriptedFtpServer();
  TScriptedFtpServer(const TScriptedFtpServer&) = delete;
  TScriptedFtpServer& operator=(const TScriptedFtpServer&) = delete;

  uint16_t Port() const { return ListenPort; }
  std::string PortText() const { return std::to_string(ListenPort); }

  // Every command received so far, over all connections, in order.
  std::vector<std::string> Commands() const;
  // Waits until at least `count` commands arrived.
  bool WaitForCommands(size_t count, std::chrono::milliseconds timeout) const;
  // Waits until every script has run to its end.
  bool WaitDone(std::chrono::milliseconds timeout) const;
  int Connections() const { return ConnectionCount.load(); }
  bool WaitForConnections(int count, std::chrono::milliseconds timeout) const;
  // Lets every script waiting at a Gate step go on.
  void OpenGate();
  // Bytes received by ReceiveData steps.
  std::string Uploaded() const;

 private:
  void Run();
  void Play(int fd, const TScript& script);
  bool ReadLine(int fd, std::string& buffer, std::string& line);
  int ConnectBack(const std::string& sourceAddress, const std::string& port);
  void Record(const std::string& command, std::string& lastPort);

  std::vector<TScript> Scripts;
  bool Concurrent = false;
  int ListenFd = -1;
  int StopFd = -1;
  int GateFd = -1;  // readable (for good) once the test opened the gate
  uint16_t ListenPort = 0;
  std::atomic<int> ConnectionCount{0};
  std::thread Thread;

  mutable std::mutex Mutex;
  mutable std::condition_variable Changed;
  std::vector<std::string> Received;
  std::string UploadedBytes;
  bool Done = false;
  size_t Finished = 0;  // scripts played to their end
  std::vector<std::thread> Players;
};

}  // namespace pelmar::test
