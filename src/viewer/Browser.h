#pragma once
// The internal viewer: shows HTML pages and images. Local files are read directly, ftp://
// addresses are fetched by an engine connection of the viewer's own into the temporary
// folder, http:// addresses through Qt Network. One page loads at a time; a new address or
// Stop drops the one under way.

#include <QPointer>
#include <QTextBrowser>
#include <memory>

#include "engine/Server.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace pelmar {

class TEventTarget;
class TFTPComponent;

// A file on a server, with the log-on to fetch it.
struct TRemoteFile {
  TServer Server;
  std::string Path;  // absolute, "/" separated
};

class TBrowser : public QTextBrowser {
  Q_OBJECT
 public:
  TBrowser(std::shared_ptr<TEventTarget> target, QWidget* parent);
  ~TBrowser() override;

  // "file://...", "ftp://..." (and ftpes, ftps, sftp), "http(s)://...", a "qrc:" page of our own,
  // or empty (a blank page).
  void Navigate(const QString& address);
  // A server's file, fetched with the given credentials; shown under its address without the
  // password.
  void NavigateRemote(const TRemoteFile& file);
  void Stop();
  bool Busy() const { return Loading; }
  // The address shown to the person: never with a password in it.
  QString CurrentAddress() const { return Shown; }

  // 1 while a preview is being started (guards against re-entry), else 0.
  int Tag = 0;

 signals:
  void DownloadBegin();
  void DownloadComplete();

 private:
  void ShowLocalFile(const QString& path);
  void FetchFtp(const TRemoteFile& file);
  void FetchHttp(const QString& address);
  void ShowError(const QString& text);
  void SetLoading(bool loading);
  void ReleaseFtp();

  std::shared_ptr<TEventTarget> Target;
  std::shared_ptr<TFTPComponent> Ftp;
  int Generation = 0;
  QNetworkAccessManager* Network = nullptr;
  QPointer<QNetworkReply> Reply;
  QString Shown;
  bool Loading = false;
};

// Whether the viewer can show a file of this name (by its extension).
bool IsPreviewable(const QString& name);

}  // namespace pelmar
