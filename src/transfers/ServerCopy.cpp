#include "transfers/ServerCopy.h"

#include <cctype>

#include "engine/Messages.h"
#include "listing/ListingPass.h"
#include "listing/RemoteItem.h"
#include "settings/Preferences.h"
#include "text/TextUtils.h"

namespace pelmar {
namespace {

// A server's refusal as the log shows it ("550 Permission denied").
bool IsRefusal(const std::string& line) {
  return line.size() > 4 && (line[0] == '4' || line[0] == '5') &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) && (line[3] == ' ' || line[3] == '-');
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

bool CopyChanged(const TServerCopy& before, const TServerCopy& now) {
  if (before.Exists != now.Exists) return true;
  if (!now.Exists) return false;
  if (before.Size != now.Size) return true;
  if (before.Time >= 0 && now.Time >= 0) return before.Time != now.Time;
  return before.Listed != now.Listed;
}

std::string EditedCopyName(const std::string& name, const std::set<std::string>& taken) {
  // The extension stays last so the copy opens as the file does; a leading dot (".htaccess")
  // is no extension.
  const size_t dot = name.find_last_of('.');
  const bool extension = dot != std::string::npos && dot > 0;
  const std::string stem = extension ? name.substr(0, dot) : name;
  const std::string tail = extension ? name.substr(dot) : std::string();
  std::string candidate = stem + " (edited)" + tail;
  for (int number = 2; taken.count(candidate) != 0; ++number) {
    candidate = stem + " (edited " + std::to_string(number) + ")" + tail;
  }
  return candidate;
}

TServerCopySession::TServerCopySession(std::shared_ptr<TEventTarget> target, const TServer& server)
    : Target(std::move(target)), Ftp(std::make_unique<TFTPComponent>(Target)) {
  Ftp->SetServer(server);
  Ftp->OnLoggedIn = [this](TFTPComponent&) {
    if (State != TState::LoggingOn) return;
    State = TState::Working;
    Begin();
  };
  Ftp->OnConnectFailed = [this](TFTPComponent&) {
    State = TState::Closed;
    Finish(LastError.empty() ? "could not log on to " + Ftp->Host : LastError);
  };
  Ftp->OnDisconnected = [this](TFTPComponent&) {
    const TState was = State;
    State = TState::Closed;
    if (was == TState::Quitting) {
      // A request that came while the last one's connection closed runs on a new one.
      if (Done) {
        State = TState::LoggingOn;
        ConnectAsPreferred(*Ftp, Preferences());
      }
    } else if (was != TState::Closed) {
      Finish(LastError.empty() ? "the server closed the connection" : LastError);
    }
  };
  Ftp->OnLog = [this](TFTPComponent&, const std::string& line) {
    if (IsRefusal(line)) LastRefusal = line;
  };
  Ftp->OnError = [this](TFTPComponent&, int, const std::string& text) {
    if (LastError.empty()) LastError = LastRefusal.empty() ? text : LastRefusal;
  };
  Ftp->OnProgress = [this](TFTPComponent& sender, uint8_t kind, bool isFile, int64_t) {
    if (State == TState::Working && !Local.empty() && isFile && kind == pkDone) {
      Stored = sender.TransferCompleted;
    }
  };
  Ftp->OnFolder = [this](TFTPComponent&, const std::string& path, uint8_t kind) {
    if (State != TState::Working || kind != fkCurrent) return;
    // The store's errors end here: the look's come after.
    StoreError = Local.empty() || Stored ? std::string()
                 : LastError.empty()     ? "the upload did not complete"
                                         : LastError;
    LastError.clear();
    InFolder = WithSlash(path) == Folder;
  };
  Ftp->OnListing = [this](TFTPComponent&, std::string& text) {
    if (State == TState::Working && InFolder) ListingArrived(text);
  };
  Ftp->OnFileTime = [this](TFTPComponent&, const std::string& path, int64_t time) {
    if (State != TState::Working || path != Folder + Name) return;
    Result.Time = Result.Exists ? time : -1;
    std::string error = StoreError;
    if (error.empty() && !InFolder) error = "the folder " + Folder + " could not be opened";
    if (error.empty() && !Listed) {
      error = LastError.empty() ? "the folder " + Folder + " could not be listed" : LastError;
    }
    if (Ftp->LoggedIn) {
      State = TState::Quitting;
      Ftp->Disconnect();
    } else {
      State = TState::Closed;
    }
    Finish(error);
  };
}

TServerCopySession::~TServerCopySession() {
  // Reports still on their way reach no one.
  Ftp->ClearHandlers();
}

void TServerCopySession::Look(const std::string& folder, const std::string& name, TDone done) {
  Store(std::string(), folder, name, std::move(done));
}

void TServerCopySession::Store(const std::string& local, const std::string& folder,
                               const std::string& name, TDone done) {
  if (Done) {
    TServerCopy busy;
    busy.Error = "the server's copy is being looked at already";
    done(busy);
    return;
  }
  Local = local;
  Folder = WithSlash(folder);
  Name = name;
  Done = std::move(done);
  switch (State) {
    case TState::Closed:
      State = TState::LoggingOn;
      ConnectAsPreferred(*Ftp, Preferences());
      break;
    case TState::Quitting:
      break;  // the closing connection's report starts a new one
    case TState::LoggingOn:
    case TState::Working:
      break;  // cannot happen: Done was set
  }
}

void TServerCopySession::Begin() {
  Result = TServerCopy();
  Stored = InFolder = Listed = false;
  LastError.clear();
  LastRefusal.clear();
  StoreError.clear();
  // In posting order: the store, then where the connection is (PWD after CWD says whether
  // the folder could be entered), its listing, and the file's exact time, which ends it.
  if (!Local.empty()) Ftp->Upload(Local, Folder + Name, Preferences().TransferModeFor(Name));
  Ftp->ChangeFolder(Folder);
  Ftp->GetFolder();
  Ftp->List();
  Ftp->AskFileTime(Folder + Name);
}

void TServerCopySession::ListingArrived(const std::string& text) {
  Listed = true;
  TListingPass pass;
  TListingHooks hooks;
  hooks.AddItem = [this](TRemoteItem& item) {
    const std::string name = LinkName(item.Name);
    if (name == "." || name == "..") return;
    Result.Names.insert(name);
    if (name == Name && (item.Attributes & iaFolder) == 0) {
      Result.Exists = true;
      Result.Size = item.Size;
      Result.Listed = item.Modified;
    }
  };
  pass.ListingReceived(text, Today(), hooks);
}

void TServerCopySession::Finish(const std::string& error) {
  if (!Done) return;
  Result.Error = error;
  // Taken first: `done` may start the next request.
  TDone done = std::move(Done);
  Done = nullptr;
  const TServerCopy result = Result;
  done(result);
}

}  // namespace pelmar
