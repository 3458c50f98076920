#pragma once
// TfrmMain: the program's main window. The message log above, the local pane and the remote
// pane below with their tabs, tool strips and folder combos, the toolbar, the menus and the
// status bar; the connection flow from the site manager, an address or the last connections;
// and every notification of the remote panes turned into captions, enabled commands, the busy
// animation and the log. Its handlers are split by concern over several files.

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "mainwindow/Commands.h"
#include "mainwindow/PaneSide.h"
#include "mainwindow/WindowState.h"
#include "settings/SiteFile.h"
#include "transfers/ServerCopy.h"
#include "transfers/TransferQueue.h"
#include "transfers/qt/TransferManager.h"
#include "transfers/qt/TransferWindow.h"
#include "views/qt/ViewList.h"

class QAbstractItemView;
class QAction;
class QPoint;
class QComboBox;
class QHBoxLayout;
class QDialog;
class QLabel;
class QMenu;
class QModelIndex;
class QPlainTextEdit;
class QStackedWidget;
class QVBoxLayout;

namespace pelmar {
class TBrowser;
class THelpWindow;
}  // namespace pelmar
class QSettings;
class QSplitter;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace pelmar {

class TActivityAnimation;
class TCustomView;
class TDialogQueueQuestions;
class THostView;
enum class TFetchKind : uint8_t;
class TLocalView;
class TQtEventTarget;
class TTransferItems;
class TQueueStore;
class TfrmSynchronize;
struct TServer;
class TTreeCombo;
class TfrmURL;

class TfrmMain : public QMainWindow, public ITransferWindowHost, public ITransferHost {
  Q_OBJECT
 public:
  // `settings` is the registry stand-in (the application's QSettings unless a test gives one).
  explicit TfrmMain(std::shared_ptr<TQtEventTarget> target, QSettings* settings = nullptr);
  ~TfrmMain() override;

  // Connection commands.
  void btnConnectClick();
  void btnConnectURLClick();
  void ConnectToUrl(const QString& address);  // as if typed into the URL dialog and OK pressed
  void ConnectToLast(int index);
  void btnHostNewClick();
  void btnStopClick();
  void btnDisconnectClick();
  void btnHostCloseClick();
  bool NewHostView();
  bool OpenLocalFolder(const QString& path, bool activate);

  THostView* CurrentHostView() const { return CurrentHost; }
  TLocalView* CurrentLocalView() const { return CurrentLocal; }
  int HostTabCount() const;
  QString HostTabCaption(int index) const;
  int ConnectedViews() const { return ConnectedCount; }
  const std::array<QString, 8>& LastConnections() const { return State.LastConnections; }
  TTransferItems& Queue() { return *Transfers; }
  QPlainTextEdit* Log() const { return memoLog; }
  // A command by its name: its action's name, or the design's name of its menu item (the menu
  // item of a button's command is that button's action).
  QAction* Action(const char* name) const;
  bool LargeToolbar() const { return Large; }
  void SetLargeToolbar(bool large);
  // Dragging the mover bar under the toolbar by `dy` pixels.
  void MoveToolbarBar(int dy);
  // Asks for a session password (the prompt unless a test replaces it); empty when refused.
  // `account` ("user@host") names whose password it is when that is not plain from the moment.
  std::function<QString(const QString& account)> AskPassword;
  // Keeps the transfer queue in the file at `path` from now on (the program does; tests may).
  void KeepQueueIn(const std::string& path);
  // Offers to continue the transfers an earlier run left unfinished (asked once), and tells
  // of a queue file that had to be set aside.
  void OfferUnfinishedTransfers();
  // Opens the site manager; its result decides the connection (replaceable for tests).
  std::function<bool(TSite& site)> ChooseSite;

  void AddLastConnection(const QString& name);
  TfrmTransfer& ProgressWindow() { return *Progress; }
  TfrmTransferMngr& TransferManager() { return *Manager; }

  // What the progress window and the queue ask of the main window.
  void SetStatusLine(const QString& text) override;
  void AppendToLog(const QString& line) override;
  void SetTransferConnected(bool connected) override;
  void EndOfFile() override;
  void EndOfAll() override;
  void TransferError() override;
  void TransferStarted() override;
  void ShowActivity() override;
  // A queue notice (an item already queued): logged, and shown in one box per command.
  void QueueNotice(const QString& text);
  void SetStatusText(const std::string& text) override;
  bool ShowTransferInfo() const override;
  void ShowProgressWindow() override;
  // The preferences dialog, which lives as long as the program ("General Preferences").
  void SetOptionsDialog(QDialog* options);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Layout and window state (MainWindowLayout.cpp).
  void BuildMenus();
  void BuildToolbar(QWidget* parent);
  // A pane side: the frame, its tool row, then (FinishSide) the tabs below the tools.
  struct TSideFrame {
    QWidget* Side;
    QVBoxLayout* Layout;
    QWidget* Tools;
    QHBoxLayout* Row;  // the folder box, then the buttons' bar
    QToolBar* Bar;     // shows what does not fit behind its overflow button
  };
  TSideFrame SideFrame(QWidget* parent, const char* sideName, const char* toolsName);
  QTabWidget* FinishSide(const TSideFrame& frame, const char* tabsName);
  QAction* UpAction(const char* name);
  QWidget* BuildLocalSide(QWidget* parent);
  QWidget* BuildRemoteSide(QWidget* parent);
  QWidget* BuildCentreStrip(QWidget* parent);
  QAction* MakeAction(const char* name, const QString& caption, const QString& hint = {});
  QToolButton* PaneButton(QWidget* parent, const char* name, const QString& hint, QAction* action);
  // The action of a pane command's button ("btnHostRename" -> "actHostRename").
  // Menu items that are a button's command, by the menu item's name.
  std::map<QByteArray, QAction*> MenuCommands;
  // Fills the typed commands once every action is made, and wires the window's own ones.
  void CollectCommands();
  TWindowCommands Commands;
  TPaneSide* LocalSide = nullptr;
  TPaneSide* HostSide = nullptr;
  QAction* PopEditNotePad = nullptr;
  QAction* PopEditTessaro = nullptr;
  QAction* CommandAction(const char* buttonName, const QString& hint);
  // A pane's "Change Views" button and its style drop-down.
  void AddViewStyleButtons(QToolBar* bar, bool host);
  // Buttons of pane commands, each with its action (CommandAction).
  void AddCommandButtons(QToolBar* bar,
                         std::initializer_list<std::pair<const char*, const char*>> buttons);
  // The drop-down of the four view styles for one pane.
  // "Type of Views": an action with the style menu, for a pane's bar.
  QAction* ViewStyleAction(bool host);
  // Adds `action` to a pane's bar and names the button the bar made for it.
  QToolButton* BarButton(QToolBar* bar, const char* name, const QString& hint, QAction* action);
  void RebuildLastConnectionsMenu();
  void ApplyViewStyle(bool host, int style);
  void WriteState();

  // Connection flow and host tabs (MainWindowConnect.cpp).
  bool ResolvePassword(QString& password);
  // OK in the URL dialog (or an address given to the program): connect to what it holds.
  void ConnectFromUrlDialog(TfrmURL& dialog);
  void ConnectSite(const TSite& site);
  // Files fetched for the editor: watched, and offered back to the server when saved
  // (MainWindowEdit.cpp). The server's copy is looked at when the file arrives and again before
  // each upload: a copy someone else changed meanwhile is not replaced without asking.
  void WatchEditedFiles(THostView& host, const QStringList& files);
  void EditedFileChanged(const QString& path);
  void OfferEditedFile(const QString& path);
  void CheckServerCopy(const QString& path);
  void ServerCopyChecked(const QString& path, const TServerCopy& copy);
  void StoreEditedFile(const QString& path, const std::string& name, bool asNewName);
  void EditedFileStored(const QString& path, const std::string& name, bool asNewName,
                        const TServerCopy& copy);
  // Runs `step` for the edited file `path` from the event loop (out of the session's report),
  // unless the file is no longer edited by then.
  void LaterForEditedFile(const QString& path, std::function<void()> step);
  // Edited files saved since they were fetched or last uploaded, and not uploaded.
  int EditedFilesNotUploaded() const;
  // A pane's server lists its times that far ahead: offered as the site's offset.
  void HostTimeZoneFound(THostView& view, int minutes);
  void HostLog(THostView& sender, const QString& text);
  // A server that refused the user name or password: say so, and offer to type the password
  // again (the same connection once more) or to open the site manager.
  void OfferLogOnAgain(THostView& view);
  // What a server view's state code means for the window (sounds, counts, captions), for
  // whichever view sends it.
  void HostUpdateState(TCustomView& sender, int code);
  void HostProgress(THostView& sender, int64_t count);
  void ApplyEnabling(bool connected, bool busy, int selected);
  // The server side's enabling, from the current server view.
  void HostEnabling(int selected);
  void pgctrlHostChange();
  void SetCaptions(const QString& tabCaption);
  THostView* HostViewAt(int index) const;
  void LocalChange();
  // Before a pane's popup: the item under the pointer becomes the selection unless it is in it.
  void SelectUnderPointer(TCustomView* view, QAbstractItemView* list, const QPoint& at);
  // The current local tab shows `folder`: the folder box, its caption and Up follow.
  void LocalFolderChanged(const QString& folder);

  // The message log and the sounds (MainWindowLog.cpp).
  void WireLog();
  int TopMinimum() const;
  void ShowLog(bool shown);
  // In a low window the log gives up its height before the lists do, and takes it back as the
  // window grows again.
  void FitLogToHeight();
  void AppendLogLine(const QString& line);
  void popLogPopup();
  void PlayStateSound(int code);
  void CreateViewer();
  // A program that did not start: named with the reason (`chosen`: from the preferences).
  void ReportStartFailure(const QString& program, bool chosen);
  // The desktop's program for a file could not open it.
  void ReportOpenFailure(const QString& path);
  // Starts a command line (program and its own arguments) with `files` added; false (after
  // saying why) when it did not start.
  bool StartCommand(const QString& command, const QStringList& files, const QString& folder,
                    bool chosen);
  void NavigateToRemote(const QModelIndex& item);
  // Help (MainWindowHelp.cpp).
  void WireHelp();

 public:
  // Writes the log's lines to `path` (replacing it); a message when it cannot.
  bool SaveLog(const QString& path);
  void popSaveLogClick();
  void popSaveLogAsClick();
  void popClearLogClick();
  void PlaySoundIfEnabled(const std::string& file);
  // The internal viewer and the outside programs (MainWindowViewer.cpp).
  void ShowViewer(bool shown);
  bool ViewerShown() const;
  TBrowser* Viewer() const { return Browser; }
  void ListClick(TCustomView& sender);
  void ViewFileChanging();
  void HostTransferred(THostView& sender, const QStringList& files, TFetchKind kind);
  // "Edit with": the text viewer or the registered editor, on one side's selection.
  void PopEditNotePadClick(bool local, bool tessaro);
  // Whether the server's copy of the edited file `path` was looked at (when it was fetched or
  // last uploaded) and nothing is on its way: what the next save is compared with is known.
  bool ServerCopyKnown(const QString& path) const;
  // Edit: the server pane's focused file fetched, opened in the preferences' editor, and sent
  // back when saved.
  void mnuHostEditFileClick();
  // The editor of the preferences as a command line (the desktop's when none is chosen).
  static QString TextEditorCommand();
  void PopEditPopup(bool local);
  // Starts a program detached (replaceable in tests): false when it could not start.
  std::function<bool(const QString& program, const QStringList& arguments, const QString& folder)>
      StartProgram;
  // Opens a file with the desktop's program for its type (replaceable in tests).
  std::function<bool(const QString& path)> OpenDocument;
  // Shows a help page in the desktop's browser (the pages are written to the data folder).
  void OpenHelpPageInBrowser(const QString& page);
  THelpWindow* HelpWindow() const { return Help; }
  QString EditorCommand;  // the registered "Tessaro" editor; empty: its commands stay off
  // Compare Folders (MainWindowCompare.cpp): the options dialog, then the two selections.
  void mnuCompareFoldersClick();
  // Synchronize...: the preview dialog, then the copies through the queue.
  void mnuSynchronizeClick();
  // Shows the dialog (replaceable for tests); true when the person chose to synchronize.
  std::function<bool(TfrmSynchronize& dialog)> RunSyncDialog;
  void CompareFolders(bool ignoreSize, bool ignoreDate);
  QMenu* LogPopup() const { return popLog; }

 private:
  // Pane commands (MainWindowCommands.cpp).
  void WireCommands();
  // A tool button and its menu item that show one state: `apply` acts on it.
  QAction* BindToggle(QAction* command, std::function<void(bool)> apply);
  // The local side's enabling, from its current view's selection.
  void LocalUpdateState(int selected);
  void BindLocalView(TLocalView& view);
  void HostDoubleClick();
  void LocalDoubleClick(const QModelIndex& item);

 public:
  // What the pane commands ask (input boxes; replaceable in tests): the answer, or nothing.
  std::function<std::optional<QString>(const QString& caption, const QString& prompt,
                                       const QString& text)>
      AskText;
  void NewLocalView();
  // A local tab with its view (bound to the window's handlers when `bind`), in `folder` when
  // one is given; `index` is its tab's.
  TLocalView* AddLocalTab(const QString& folder, const QString& caption, bool bind, int& index);
  void btnLocalCloseClick();
  // Send To: the selection moved on the server by renaming; downloaded into another folder;
  // its paths or addresses on the clipboard.
  void SendToHostFolder();
  void SendToLocalFolder();
  void SendToClipboard(bool urls);
  int LocalTabCount() const;
  // The remote pane's popup at `at` of `list` (prepared only, when `list` is null).
  void ShowHostPopup(QAbstractItemView* list, const QPoint& at);
  QMenu* HostPopup() const { return popHost; }
  // The local pane's popup: view styles, paste, new folder, properties.
  void ShowLocalPopup(QAbstractItemView* list, const QPoint& at);

 private:
  std::shared_ptr<TQtEventTarget> Target;
  std::unique_ptr<QSettings> OwnSettings;
  QSettings* Settings;
  TWindowState State;
  std::unique_ptr<TTransferItems> Transfers;
  std::unique_ptr<TDialogQueueQuestions> Questions;
  std::unique_ptr<TfrmTransfer> Progress;
  std::unique_ptr<TfrmTransferMngr> Manager;
  std::unique_ptr<TQueueStore> KeptQueue;  // after Transfers: it stops following first
  QPointer<THostView> LogOnRefused;        // the view whose last log-on the server refused
  bool OfferingUnfinished = false;         // its questions are open: the offer is not made twice
  void OfferUnfinishedTransfersOnce();
  struct TEditedFile {
    QPointer<THostView> Host;
    TServer Server;
    std::string Remote;                 // the file's path on the server
    std::pair<int64_t, int64_t> Stamp;  // size and time when last seen
    std::pair<int64_t, int64_t> Sent;   // size and time of the save being uploaded
    bool Changed = false;               // saved and not uploaded
    bool Always = false;                // upload every save without asking
    bool Sending = false;               // being checked against the server's copy or uploaded
    bool UploadWanted = false;          // agreed while the fetched copy was being looked at
    bool CopyKnown = false;             // whether Copy holds the server's copy
    TServerCopy Copy;  // the server's copy as fetched, or as the last upload left it
    std::unique_ptr<TServerCopySession> Session;
  };
  std::map<QString, TEditedFile> EditedFiles;
  // The editor each server view's running Edit fetch is for.
  std::map<const THostView*, QString> PendingEditors;
  QFileSystemWatcher* EditWatch = nullptr;
  bool AskingAboutEdit = false;
  THostView* CurrentHost = nullptr;
  TLocalView* CurrentLocal = nullptr;
  int ConnectedCount = 0;
  bool Large = false;
  bool FirstActivation = true;
  bool Shown = false;

  QWidget* pnlHTML = nullptr;
  QSplitter* barMilieu = nullptr;
  QSplitter* pnlBack = nullptr;
  QToolBar* tbMain = nullptr;
  QWidget* BarMoveTool = nullptr;
  QPlainTextEdit* memoLog = nullptr;
  QStackedWidget* LogStack = nullptr;  // the log, or the internal viewer in its place
  QMenu* popLog = nullptr;
  TBrowser* Browser = nullptr;
  THelpWindow* Help = nullptr;
  QMenu* PopEdit = nullptr;
  bool PopEditFromLocal = false;
  int SavedLogHeight = 12;
  int ChosenLogHeight = 0;  // the log panel's height as the person set it
  bool FittingLog = false;
  bool SyncingLog = false;
  QTabWidget* pgctrlLocal = nullptr;
  QTabWidget* pgctrlHost = nullptr;
  QComboBox* cmboLocalTree = nullptr;
  TTreeCombo* cmboHostTree = nullptr;
  TActivityAnimation* aviActivity = nullptr;
  bool QueuedTransfersRunning = false;
  int LogHeightBeforeViewer = 0;  // the log's height while the viewer has more room; 0: none
  int64_t SyncMaxDelete = -1;     // Synchronize's last "at most" for deletions, -1: no limit
  QStringList QueueNotices;       // shown together once the command that made them is done  // the
                                  // progress window reports a running batch
  QLabel* StatusPanels[3] = {};
  QMenu* mnuLastConnect = nullptr;
  QMenu* popHost = nullptr;
  std::array<QAction*, 8> LastItems{};
};

}  // namespace pelmar
