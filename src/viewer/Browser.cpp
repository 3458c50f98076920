#include "viewer/Browser.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

#include "engine/FTPComponent.h"
#include "engine/Messages.h"
#include "settings/Preferences.h"
#include "text/PrivateFolder.h"
#include "text/TextUtils.h"
#include "text/UrlText.h"
#include "transfers/TransferQueue.h"

namespace pelmar {
namespace {

QString WithoutPassword(const QString& address) {
  const QUrl url(address);
  if (!url.isValid() || url.password().isEmpty()) return address;
  return url.toDisplayString(QUrl::RemovePassword);
}

}  // namespace

bool IsPreviewable(const QString& name) {
  static const QString kPreview =
      QStringLiteral(".html .htm .shtml .asp .cfm .css .gif .jpg .asi ");
  // And every picture Qt can read here (PNG, JPEG, WebP, SVG, ...), not only GIF and JPEG.
  static const QString kPictures = [] {
    QString list;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
      list += u'.' + QString::fromLatin1(format).toLower() + u' ';
    }
    return list;
  }();
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot < 0) return false;
  const QString extension = name.mid(dot).toLower() + u' ';
  return kPreview.contains(extension) || kPictures.contains(extension);
}

TBrowser::TBrowser(std::shared_ptr<TEventTarget> target, QWidget* parent)
    : QTextBrowser(parent), Target(std::move(target)) {
  setObjectName("Browser");
  setOpenLinks(true);
  setOpenExternalLinks(false);
}

TBrowser::~TBrowser() {
  Stop();
}

void TBrowser::SetLoading(bool loading) {
  if (loading == Loading) return;
  Loading = loading;
  if (loading) {
    emit DownloadBegin();
  } else {
    emit DownloadComplete();
  }
}

void TBrowser::ReleaseFtp() {
  if (!Ftp) return;
  ++Generation;  // reports of the connection let go reach no one
  Ftp->Disconnect();
  // It may be delivering the report that lets it go: freed once that report is handled.
  Target->Post([released = std::move(Ftp)] { released->ClearHandlers(); });
}

void TBrowser::Stop() {
  ReleaseFtp();
  if (Reply) {
    Reply->disconnect(this);
    Reply->abort();
    Reply->deleteLater();
  }
  SetLoading(false);
}

void TBrowser::Navigate(const QString& address) {
  Stop();
  Shown = WithoutPassword(address);
  setToolTip(Shown);
  const QUrl url(address);
  const QString scheme = url.scheme().toLower();
  if (address.isEmpty()) {
    clear();
  } else if (scheme == QStringLiteral("ftp") || scheme == QStringLiteral("ftps") ||
             scheme == QStringLiteral("ftpes") || scheme == QStringLiteral("sftp")) {
    const TSplitUrl parts = SplitUrl(address.toStdString(), Preferences().EMail);
    FetchFtp({TServer{.Host = parts.Host,
                      .Port = parts.Port,
                      .User = parts.User,
                      .Password = parts.Password,
                      .Encryption = parts.Encryption,
                      .Protocol = parts.Protocol},
              parts.ServerFolder + parts.FileName});
  } else if (scheme == QStringLiteral("http") || scheme == QStringLiteral("https")) {
    FetchHttp(address);
  } else if (scheme == QStringLiteral("file")) {
    ShowLocalFile(url.toLocalFile());
  } else if (scheme == QStringLiteral("qrc")) {
    setSource(url);
  } else {
    ShowError(QString(QStringLiteral("Pelmar cannot show %1")).arg(Shown.toHtmlEscaped()));
  }
}

void TBrowser::ShowLocalFile(const QString& path) {
  const QFileInfo file(path);
  if (!file.isFile()) {
    ShowError(QString(QStringLiteral("The file %1 does not exist.")).arg(path.toHtmlEscaped()));
    return;
  }
  QImageReader picture(path);
  if (picture.canRead()) {
    // A page of its own around the picture, so the picture is read from the file itself; one
    // wider than the viewer is shown at the viewer's width.
    setSearchPaths({file.absolutePath()});
    const int room = std::max(viewport()->width() - 24, 16);
    const QString width = picture.size().width() > room
                              ? QString(QStringLiteral(" width=\"%1\"")).arg(room)
                              : QString();
    setHtml(
        QString(QStringLiteral("<p align=\"center\"><img src=\"%1\"%2></p>"))
            .arg(QUrl::fromLocalFile(file.absoluteFilePath()).toString().toHtmlEscaped(), width));
    return;
  }
  setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
}

void TBrowser::ShowError(const QString& text) {
  setHtml(QStringLiteral("<p>") + text + QStringLiteral("</p>"));
}

void TBrowser::NavigateRemote(const TRemoteFile& file) {
  Stop();
  Shown = QString::fromStdString(FtpAddress(file.Server, file.Path));
  setToolTip(Shown);
  FetchFtp(file);
}

void TBrowser::FetchFtp(const TRemoteFile& file) {
  const TPreferences& preferences = Preferences();
  const std::string name = file.Path.substr(file.Path.find_last_of('/') + 1);
  if (file.Server.Host.empty() || !IsSafeLocalName(name)) {
    ShowError(QString(QStringLiteral("Pelmar cannot show %1")).arg(Shown.toHtmlEscaped()));
    return;
  }
  const std::string local = PrivateFilePath(name, "viewer");
  if (local.empty()) {
    ShowError(QString(QStringLiteral("Pelmar cannot show %1")).arg(Shown.toHtmlEscaped()));
    return;
  }
  const std::string remote = file.Path;
  const int mode = preferences.TransferModeFor(name);
  Ftp = std::make_shared<TFTPComponent>(Target);
  TFTPComponent& ftp = *Ftp;
  const int generation = Generation;
  ftp.SetServer(file.Server);
  ftp.OnLoggedIn = [remote, local, mode](TFTPComponent& sender) {
    sender.Download(remote, local, mode);
  };
  ftp.OnProgress = [this, local, generation](TFTPComponent& sender, uint8_t kind, bool, int64_t) {
    if (generation != Generation || kind != pkDone || !sender.TransferCompleted) return;
    const QString path = QString::fromStdString(local);
    ReleaseFtp();
    SetLoading(false);
    ShowLocalFile(path);
  };
  auto failed = [this, generation](const QString& why) {
    if (generation != Generation) return;
    ReleaseFtp();
    SetLoading(false);
    ShowError(QString(QStringLiteral("%1 could not be fetched: %2"))
                  .arg(Shown.toHtmlEscaped(), why.toHtmlEscaped()));
  };
  ftp.OnError = [failed](TFTPComponent&, int, const std::string& text) {
    failed(QString::fromStdString(text));
  };
  ftp.OnDisconnected = [failed](TFTPComponent&) {
    failed(QStringLiteral("the connection was closed"));
  };
  SetLoading(true);
  ConnectAsPreferred(ftp, preferences);
}

void TBrowser::FetchHttp(const QString& address) {
  if (!Network) Network = new QNetworkAccessManager(this);
  SetLoading(true);
  Reply = Network->get(QNetworkRequest(QUrl(address)));
  connect(Reply, &QNetworkReply::finished, this, [this, reply = Reply] {
    reply->deleteLater();
    SetLoading(false);
    if (reply->error() != QNetworkReply::NoError) {
      ShowError(reply->errorString().toHtmlEscaped());
      return;
    }
    const QByteArray body = reply->readAll();
    QImage image;
    if (image.loadFromData(body)) {
      document()->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pelmar:image")),
                              image);
      setHtml(QStringLiteral("<p align=\"center\"><img src=\"pelmar:image\"></p>"));
    } else {
      setHtml(QString::fromUtf8(body));
    }
  });
}

}  // namespace pelmar
