#include "engine/FTPComponent.h"
#include "engine/RequestArgs.h"

#include <atomic>
#include <cstdio>
#include <exception>

#include "engine/ComponentList.h"
#include "engine/EngineHooks.h"
#include "engine/FTPThread.h"

namespace pelmar {
namespace {

// No thread behind the queue any more (it ended or never started).
constexpr int kErrorInvalidThreadId = 1444;

}  // namespace

TFTPComponent::TFTPComponent(std::shared_ptr<TEventTarget> target, bool startWorker)
    : Shared(std::make_shared<TWorkerShared>(std::move(target))),
      Anchor(std::make_shared<TComponentAnchor>(TComponentAnchor{this})) {
  Shared->Anchor = Anchor;
  // The queue exists before the worker starts, so requests may be posted at once.
  if (startWorker) StartWorker();
  RegisterComponent(this);
}

void TFTPComponent::StartWorker() {
  if (WorkerStarted) return;
  WorkerStarted = true;
  TFTPThread::Start(Shared);
}

TFTPComponent::~TFTPComponent() {
  StartWorker();  // a worker that never ran still has to take its quit message
  BeginUnregisterComponent(this);
  Shared->Queue.Post({WM_QUIT, 0, {}});
  Anchor.reset();  // events still on their way find no component and are dropped
  EndUnregisterComponent(this);
}

void TFTPComponent::ClearHandlers() {
  OnAborted = nullptr;
  OnConnectFailed = nullptr;
  OnConnected = nullptr;
  OnDisconnected = nullptr;
  OnError = nullptr;
  OnFolder = nullptr;
  OnLog = nullptr;
  OnLoggedIn = nullptr;
  OnMarker = nullptr;
  OnListing = nullptr;
  OnProgress = nullptr;
  OnFileSize = nullptr;
  OnFileTime = nullptr;
  OnChecksum = nullptr;
  OnCertificate = nullptr;
}

void TFTPComponent::PostMessage(unsigned message, const char* failureFormat) {
  if (Shared->Queue.Post({message, 0, {}})) return;
  char text[128];
  std::snprintf(text, sizeof text, failureFormat, kErrorInvalidThreadId);
  ShowEngineMessage(text);
}

void TFTPComponent::PostRequest(uint8_t kind, std::vector<std::string> args) {
  IdleSeconds = 0;
  if (args.size() == 1 && args[0].empty()) args.clear();
  if (Shared->Queue.Post({WM_FTPREQUEST, kind, std::move(args), ++LastSerial})) return;
  char text[128];
  std::snprintf(text, sizeof text, "PostThreadMessage returned False, LastError = %d",
                kErrorInvalidThreadId);
  ShowEngineMessage(text);
}

void TFTPComponent::PostType(int mode) {
  const char letter = mode >= 0 && mode <= 3 ? TypeChars[mode] : TypeChars[1];
  PostRequest(rqType, {std::string(1, letter)});
}

TConnectRequest TFTPComponent::LogOnRequest(bool viaFirewall) const {
  TConnectRequest request;
  request.Server = Server();
  if (viaFirewall) {
    request.FirewallType = FirewallType;
    request.FirewallHost = FirewallHost;
    request.FirewallPort = FirewallPort;
    request.FirewallUser = FirewallUser;
    request.FirewallPassword = FirewallPassword;
  }
  return request;
}

void TFTPComponent::Connect() {
  PostRequest(rqConnect, LogOnRequest(false).ToArgs());
}

void TFTPComponent::ConnectViaFirewall() {
  PostRequest(rqConnectViaFirewall, LogOnRequest(true).ToArgs());
}

TCertificateAnswer TFTPComponent::CertificateAnswer() const {
  auto answered = std::make_shared<std::atomic<bool>>(false);
  return [weak = std::weak_ptr<TWorkerShared>(Shared), answered](TTrustDecision decision) {
    if (answered->exchange(true)) return;
    if (auto shared = weak.lock()) shared->Queue.Post({WM_FTPTRUST, decision, {}});
  };
}

TPassphraseAnswer TFTPComponent::PassphraseAnswer() const {
  auto answered = std::make_shared<std::atomic<bool>>(false);
  return [weak = std::weak_ptr<TWorkerShared>(Shared), answered](std::optional<std::string> text) {
    if (answered->exchange(true)) return;
    auto shared = weak.lock();
    if (!shared) return;
    if (text) {
      shared->Queue.Post({WM_FTPSECRET, 1, {std::move(*text)}});
    } else {
      shared->Queue.Post({WM_FTPSECRET, 0, {}});
    }
  };
}

void TFTPComponent::Disconnect() {
  Abort();
  PostMessage(WM_FTPCANCEL, "Abort.PostThreadMessage returned False, LastError = %d");
  if (LoggedIn) PostRequest(rqQuit, {});
}

void TFTPComponent::Abort() {
  PostMessage(WM_FTPABORT, "Abort.PostThreadMessage returned False, LastError = %d");
}

void TFTPComponent::GetFolder() {
  PostRequest(rqGetFolder, {});
}
void TFTPComponent::PostMarker() {
  PostRequest(rqMarker, {});
}
void TFTPComponent::ChangeFolder(const std::string& path) {
  PostRequest(rqChangeFolder, {path});
}
void TFTPComponent::List(const std::string& folder) {
  PostRequest(rqList, {folder});
}

void TFTPComponent::Download(const std::string& remoteName, const std::string& localName, int mode,
                             TDownloadFacts facts) {
  PostType(mode);
  std::vector<std::string> args{localName, remoteName};
  if (facts.ListedSize >= 0 || facts.NewOnly || facts.ServerTime >= 0) {
    args.insert(args.end(), {"0", facts.ListedSize >= 0 ? std::to_string(facts.ListedSize) : "",
                             facts.NewOnly ? kDownloadNewOnly : "",
                             facts.ServerTime >= 0 ? std::to_string(facts.ServerTime) : ""});
  }
  PostRequest(rqDownload, std::move(args));
}

void TFTPComponent::Upload(const std::string& localName, const std::string& remoteName, int mode,
                           bool knownNew) {
  PostType(mode);
  if (knownNew) {
    PostRequest(rqUpload, {localName, remoteName, "0", kUploadKnownNew});
  } else {
    PostRequest(rqUpload, {localName, remoteName});
  }
}

void TFTPComponent::ResumeDownload(const std::string& remoteName, const std::string& localName,
                                   int mode, int64_t offset, int64_t listedSize) {
  PostType(mode);
  std::vector<std::string> args{localName, remoteName, std::to_string(offset)};
  if (listedSize >= 0) args.push_back(std::to_string(listedSize));
  PostRequest(rqResumeDownload, std::move(args));
}

void TFTPComponent::ResumeUpload(const std::string& localName, const std::string& remoteName,
                                 int mode, int64_t offset) {
  PostType(mode);
  PostRequest(rqResumeUpload, {localName, remoteName, std::to_string(offset)});
}

void TFTPComponent::DeleteFile(const std::string& name) {
  PostRequest(rqDelete, {name});
}

void TFTPComponent::Rename(const std::string& oldName, const std::string& newName) {
  PostRequest(rqRename, {oldName, newName});
}

void TFTPComponent::MakeFolder(const std::string& name) {
  PostRequest(rqMakeFolder, {name});
}
void TFTPComponent::RemoveFolder(const std::string& name) {
  PostRequest(rqRemoveFolder, {name});
}
void TFTPComponent::KeepAlive() {
  PostRequest(rqKeepAlive, {});
}

void TFTPComponent::AskChecksum(const std::string& name) {
  PostRequest(rqChecksum, {name});
}

void TFTPComponent::AskFileTime(const std::string& name) {
  PostRequest(rqFileTime, {name});
}

void TFTPComponent::ChangeMode(const std::string& name, uint16_t attributes) {
  PostRequest(rqChangeMode, {ChangeModeText(attributes), name});
}

void TFTPComponent::HandleEvent(int code, TEventRecord* record) {
  try {
    switch (code) {
      case evAborted:
        if (OnAborted) OnAborted(*this);
        break;
      case evConnectFailed:
        if (OnConnectFailed) OnConnectFailed(*this);
        break;
      case evConnected:
        if (OnConnected) OnConnected(*this);
        break;
      case evLoggedIn:
        LoggedIn = 1;
        if (OnLoggedIn) OnLoggedIn(*this);
        break;
      case evMarker:
        if (OnMarker) OnMarker(*this);
        break;
      case evDisconnected:
        LoggedIn = 0;
        if (OnDisconnected) OnDisconnected(*this);
        break;
      case evError:
        if (auto* e = dynamic_cast<TErrorData*>(record); e && OnError)
          OnError(*this, e->Code, e->Text);
        break;
      case evFolder:
        if (auto* f = dynamic_cast<TFolderEventData*>(record); f && OnFolder) {
          OnFolder(*this, f->Path, f->Kind);
        }
        break;
      case evLog:
        if (auto* l = dynamic_cast<TLogData*>(record); l && OnLog) OnLog(*this, l->Text);
        break;
      case evProgress:
        if (auto* p = dynamic_cast<TProgressData*>(record); p && OnProgress) {
          TransferCompleted = p->Completed != 0;
          LastServerTime = p->ServerTime;
          OnProgress(*this, p->Kind, p->IsFile != 0, p->Count);
        }
        break;
      case evListing:
        if (auto* l = dynamic_cast<TListingData*>(record); l && OnListing)
          OnListing(*this, l->Bytes);
        break;
      case evFileSize:
        if (auto* s = dynamic_cast<TUpdateFileSizeEventData*>(record); s && OnFileSize) {
          OnFileSize(*this, s->FileName, s->Size);
        }
        break;
      case evChecksum:
        if (auto* c = dynamic_cast<TChecksumEventData*>(record); c && OnChecksum) {
          OnChecksum(*this, c->FileName, c->Algorithm, c->Digest);
        }
        break;
      case evFileTime:
        if (auto* t = dynamic_cast<TFileTimeEventData*>(record); t && OnFileTime) {
          OnFileTime(*this, t->FileName, t->Time);
        }
        break;
      case evCertificate:
        if (auto* c = dynamic_cast<TCertificateEventData*>(record)) {
          if (OnCertificate) {
            OnCertificate(*this, *c, CertificateAnswer());
          } else if (!AskAboutCertificate(*c, CertificateAnswer())) {
            CertificateAnswer()(tdRefuse);
          }
        }
        break;
      case evPassphrase:
        if (auto* p = dynamic_cast<TPassphraseEventData*>(record)) {
          if (!AskForPassphrase(*p, PassphraseAnswer())) PassphraseAnswer()(std::nullopt);
        }
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    ShowEngineMessage(e.what());
  } catch (...) {
    ShowEngineMessage("Unknown error in an event handler");
  }
}

void DeliverEvent(TFTPComponent& component, int code, TEventRecord* record, uint64_t request) {
  component.DeliveringRequest = request;
  component.HandleEvent(code, record);
}

std::string ChangeModeText(uint16_t attributes) {
  static constexpr struct {
    uint16_t Bit;
    int Value;
  } kTerms[] = {{4, 400},  {8, 200}, {16, 100}, {32, 40}, {64, 20},
                {128, 10}, {256, 4}, {512, 2},  {1024, 1}};
  int mode = 0;
  for (const auto& term : kTerms) {
    if (attributes & term.Bit) mode += term.Value;
  }
  return std::to_string(mode);
}

}  // namespace pelmar
