#pragma once
// The server's copy of a file edited in place: what it is like now (its size and names from a
// listing of its folder, its exact time by MDTM), and storing an edited file there. Each look
// or store runs on a connection of its own, logged on for it and closed after it, so that an
// edit saved an hour later does not depend on a connection the server dropped meanwhile.

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "engine/FTPComponent.h"
#include "platform/DateTime.h"
#include "platform/EventTarget.h"

namespace pelmar {

struct TServerCopy {
  bool Exists = false;
  int64_t Size = -1;
  TDateTime Listed = 0;         // the time its folder's listing gives
  int64_t Time = -1;            // MDTM's time (UTC seconds); -1 where the server has none
  std::set<std::string> Names;  // every name in its folder
  std::string Error;            // why the copy could not be looked at; empty when it was
};

// Whether the server's copy is not the one seen before: gone or come, another size, or another
// time (MDTM's when both looks have it, else the listed one).
bool CopyChanged(const TServerCopy& before, const TServerCopy& now);

// "name (edited).ext" for `name`, or "name (edited 2).ext" and so on: the first not in `taken`.
std::string EditedCopyName(const std::string& name, const std::set<std::string>& taken);

class TServerCopySession {
 public:
  using TDone = std::function<void(const TServerCopy& copy)>;

  TServerCopySession(std::shared_ptr<TEventTarget> target, const TServer& server);
  // Reports still on their way reach no one; the connection's worker closes it.
  ~TServerCopySession();
  TServerCopySession(const TServerCopySession&) = delete;
  TServerCopySession& operator=(const TServerCopySession&) = delete;

  // Looks at `folder` + `name` (`folder` ends with "/"); `done` gets the result.
  void Look(const std::string& folder, const std::string& name, TDone done);
  // Stores the local file `local` as `folder` + `name`, then looks at it; `done` gets the
  // look, with the upload's failure as its error. `done` runs inside the session's own report
  // and must not destroy the session.
  void Store(const std::string& local, const std::string& folder, const std::string& name,
             TDone done);
  bool Busy() const { return static_cast<bool>(Done); }

 private:
  enum class TState { Closed, LoggingOn, Working, Quitting };
  void Begin();
  void Finish(const std::string& error);
  void ListingArrived(const std::string& text);

  std::shared_ptr<TEventTarget> Target;
  std::unique_ptr<TFTPComponent> Ftp;
  TState State = TState::Closed;
  // The running (or waiting) request.
  std::string Local;  // empty for a look
  std::string Folder;
  std::string Name;
  TDone Done;
  // What came back so far.
  TServerCopy Result;
  bool Stored = false;
  bool InFolder = false;
  bool Listed = false;
  std::string LastError;    // the request's first error
  std::string LastRefusal;  // the server's last 4xx or 5xx reply: the reason an error gives
  std::string StoreError;
};

}  // namespace pelmar
