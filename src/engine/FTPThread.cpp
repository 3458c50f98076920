#include "engine/FTPThread.h"
#include "engine/RequestArgs.h"

#include <cstdio>
#include <thread>

#include "engine/EngineSettings.h"
#include "engine/Exceptions.h"
#include "engine/FTPComponent.h"
#include "engine/WorkerRegistry.h"

namespace pelmar {
namespace {

bool HasForbiddenCharacter(const std::vector<std::string>& args) {
  for (const auto& arg : args) {
    if (arg.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

TFTPThread::TFTPThread(std::shared_ptr<TWorkerShared> shared)
    : Shared(std::move(shared)),
      Blocking{Shared->Queue, WM_FTPABORT, AbortState, EngineSettings().FTPTimeout} {}

void TFTPThread::Start(std::shared_ptr<TWorkerShared> shared) {
  RegisterWorker(shared);
  std::thread([shared]() mutable {
    const TWorkerShared* key = shared.get();
    {
      TFTPThread worker(std::move(shared));
      worker.Execute();
    }
    // Before the program may see this worker as gone and end.
    ReleaseTlsThreadState();
    UnregisterWorker(key);
  }).detach();
}

void TFTPThread::Execute() {
  TThreadQueue& queue = Shared->Queue;
  if (!queue.Valid()) {
    char text[96];
    std::snprintf(text, sizeof text, "Unable to initialize Windows Sockets, Error #%d",
                  queue.StartError());
    PostError(0, text);
    queue.Close();
    return;
  }
  bool running = true;
  while (running) {
    TThreadMessage message = queue.Get();
    switch (message.Message) {
      case WM_QUIT:
        running = false;
        break;
      case WM_FTPREQUEST:
        if (queue.Peek(WM_FTPCANCEL, false)) {
          running = HandleCancel();
        } else {
          ServingRequest = message.Serial;
          Dispatch(static_cast<uint8_t>(message.WParam & 0xFF), message.Args);
        }
        break;
      case WM_FTPCANCEL:
        running = HandleCancel();
        break;
      default:  // an abort while idle, or anything unknown
        break;
    }
    AbortState.Aborted = 0;
  }
  queue.Close();
  CloseSocket(DataSocket);
  CloseControlSocket();
}

bool TFTPThread::HandleCancel() {
  std::deque<TThreadMessage> dropped = Shared->Queue.TakeAll();
  const TThreadMessage* lastQuit = nullptr;
  bool quitThread = false;
  for (const auto& message : dropped) {
    if (message.Message == WM_QUIT) quitThread = true;
    if (message.Message == WM_FTPREQUEST && (message.WParam & 0xFF) == rqQuit) {
      lastQuit = &message;
    }
  }
  if (lastQuit) {
    ServingRequest = lastQuit->Serial;
    Dispatch(rqQuit, lastQuit->Args);
  }
  return !quitThread;
}

void TFTPThread::Dispatch(uint8_t kind, const TArgs& args) {
  Shared->CurrentRequest = kind;
  // Each request starts without the resume checks of the one before (set by downloads and
  // uploads for their own transfer only).
  ResumeExpected = -1;
  ResumeMismatch = false;
  ResumedUpload.clear();
  ExpectedSize = -1;
  AnnouncedSize = -1;
  const bool isConnect = kind == rqConnect || kind == rqConnectViaFirewall;
  try {
    if (HasForbiddenCharacter(args)) {
      // Such a text would smuggle a second command onto the control connection.
      PostError(0, "Invalid character in command");
      if (isConnect) {
        PostEvent(evDisconnected);
        PostEvent(evConnectFailed);
      }
    } else {
      Serve(kind, args);
    }
  } catch (const EControlSocketException& e) {
    if (*e.what() != '\0') Log(e.what());
    CloseSocket(DataSocket);
    CloseControlSocket();
    PostEvent(evDisconnected);
    if (isConnect) PostEvent(evConnectFailed);
  } catch (const std::exception& e) {
    CloseSocket(DataSocket);
    PostError(0, e.what());
  } catch (...) {
    CloseSocket(DataSocket);
    PostError(0, "Unknown error");
  }
  QuietLog = 0;
  FileName.clear();
  Shared->CurrentRequest = 0;
}

void TFTPThread::Serve(uint8_t kind, const TArgs& args) {
  if (kind == rqMarker) {
    PostEvent(evMarker);
    return;
  }
  if (Sftp && kind != rqConnect && kind != rqConnectViaFirewall) {
    if (kind == rqQuit) {
      ServeSftpQuit();
    } else {
      Sftp->Serve(kind, args);
      // A connection that broke under the request is over, as a broken FTP control
      // connection is.
      if (!Sftp->Connected() && Sftp->OwnsSocket()) {
        CloseControlSocket();
        PostEvent(evDisconnected);
      }
    }
    return;
  }
  switch (kind) {
    case rqConnectViaFirewall:
    case rqConnect:
      ServeConnect(kind, args);
      break;
    case rqQuit:
      ServeQuit();
      break;
    case rqList:
      ServeList(RequestArg(args, 0));
      break;
    case rqDownload:
    case rqResumeDownload:
      ServeDownload(args);
      break;
    case rqUpload:
    case rqResumeUpload:
      ServeUpload(args);
      break;
    case rqType:
      ServeType(args);
      break;
    case rqGetFolder:
    case rqChangeFolder:
    case rqDelete:
    case rqRename:
    case rqMakeFolder:
    case rqRemoveFolder:
    case rqKeepAlive:
    case rqChangeMode:
    case rqFileTime:
    case rqChecksum:
      ServeSimpleCommand(kind, args);
      break;
    default:
      break;  // unknown kinds are ignored, as any unknown message is
  }
}

void TFTPThread::PostEvent(int code, std::shared_ptr<TEventRecord> record) {
  std::weak_ptr<TComponentAnchor> anchor = Shared->Anchor;
  const uint64_t request = ServingRequest;
  Shared->Target->Post([anchor, code, record, request]() {
    if (auto alive = anchor.lock()) DeliverEvent(*alive->Component, code, record.get(), request);
  });
}

void TFTPThread::PostError(int code, const std::string& text) {
  auto record = std::make_shared<TErrorData>();
  record->Code = code;
  record->Text = text;
  PostEvent(evError, std::move(record));
}

void TFTPThread::Log(const std::string& text) {
  if (QuietLog) return;
  auto record = std::make_shared<TLogData>();
  record->Text = text;
  PostEvent(evLog, std::move(record));
}

}  // namespace pelmar
