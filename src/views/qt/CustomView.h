#pragma once
// What both panes share: the list in one of four styles, a status bar with the entry count
// and size, the selection and the mask, the keys and mouse actions of a pane, dragging a
// selection onto the other pane, and the operations the main window and the transfer queue
// call on either pane alike. An item is a model index of the list's model (column 0).

#include <QDateTime>
#include <QModelIndex>
#include <QObject>
#include <functional>

#include "transfers/TransferItem.h"
#include "views/qt/ViewList.h"

class QLabel;
class QStatusBar;
class QWidget;

namespace pelmar {

class TTransferItems;

class TCustomView : public QObject, public ITransferDestination {
  Q_OBJECT
 public:
  // The list and the status bar are made on `parent`, the host of the pane.
  TCustomView(QWidget* parent, char separator);
  ~TCustomView() override;

  // When false, status refreshes (and the status event) are skipped.
  bool DoUpdates = true;
  // The transfer queue whole selections go to; a pane that closes is forgotten by its items.
  TTransferItems* Queue = nullptr;

  virtual QString Folder() const;
  virtual void SetFolder(const QString& folder);
  virtual QString Mask() const = 0;
  virtual void SetMask(const QString& text);
  char Seperator() const { return Separator; }
  TViewList* ListView() const { return List; }
  QStatusBar* StatusBar() const { return Status; }

  // A file item was opened (double-click or Enter) and the owner acts on it instead of the
  // pane; folders never come here.
  std::function<void(TCustomView& sender, const QModelIndex& item)> OnPerformDoubleClick;
  // Asks the owner which pane a transfer goes to (null: none).
  std::function<TCustomView*(TCustomView& sender)> OnTransfer;

  virtual bool ReceiveSelection(TCustomView& source) = 0;
  virtual bool OpenItem(const QModelIndex& item) = 0;
  virtual void DoubleClick(const QModelIndex& item);
  virtual QString GetItemName(const QModelIndex& item) const = 0;
  virtual QString GetItemPath(const QModelIndex& item) const = 0;
  virtual bool IsFolder(const QModelIndex& item) const = 0;
  virtual bool IsLink(const QModelIndex& item) const = 0;
  virtual int64_t GetItemSize(const QModelIndex& item) const = 0;
  virtual QDateTime GetItemDate(const QModelIndex& item) const = 0;
  virtual bool ChangeFolder(const QString& path) = 0;
  virtual bool ChangeFolderAndWait(const QString& path) = 0;
  virtual bool FolderUp() = 0;
  virtual bool MakeFolder(const QString& name, bool edit) = 0;
  virtual bool DeleteSelected(bool confirm) = 0;
  virtual bool ShowProperties() { return false; }
  virtual void Cut() {}
  virtual void Copy() {}
  virtual void Paste() {}
  virtual void RenameFocused();
  virtual void SelectAll();
  virtual void InvertSelection();
  virtual void RefreshFolder() = 0;
  virtual bool RenameItem(const QString& oldPath, const QString& newPath) = 0;
  // An entry has arrived in `folder` of this pane (the transfer queue says so).
  virtual void UpdateItem(const std::string&, const std::string&, uint16_t, int64_t, TDateTime) {}
  void EntryArrived(const std::string& folder, const std::string& name, bool isFolder, int64_t size,
                    TDateTime modified) override {
    UpdateItem(folder, name, isFolder ? 1 : 0, size, modified);
  }
  virtual bool SendSelection(TCustomView* target);
  // Whether a selection dragged from the other pane may be dropped here now.
  virtual bool AcceptsDrop() const { return true; }
  // Files dragged in from another program (the desktop's file manager), by local path;
  // `move` when Shift was held. False when the pane takes none.
  virtual bool ReceiveDroppedFiles(const QStringList& paths, bool move) {
    (void)paths;
    (void)move;
    return false;
  }

  // Status texts: entries and total size (panel 0), selection (panel 1), mask (panel 2).
  void RefreshStatus();
  void InvalidateTotal() { TotalSize = -1; }
  QString PanelText(int panel) const;
  int SelectedCount() const { return static_cast<int>(List->SelectedItems().size()); }

  // The pane that owns a list widget (either of its views), or null.
  static TCustomView* ViewOf(const QObject* widget);
  // The pane whose selection a drag from `dragSource` carries, when it may be dropped here.
  TCustomView* DropSourceFor(const QObject* dragSource) const;

 signals:
  // A file is about to change (delete, rename): its path (local) or URL (remote).
  void FileChanging(const QString& name);
  // 0 with the selection count at every status refresh; the remote pane's state codes.
  void StateUpdated(int code, int value);
  // The pane shows another folder (with its trailing separator).
  void FolderChanged(const QString& folder);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The key table of a pane; true when the key was handled.
  bool HandleKey(int key, Qt::KeyboardModifiers modifiers);
  void ShowContextMenuAtFocus();

  int64_t TotalSize = -1;
  bool StatusPending = false;

 private:
  char Separator;
  QString FolderText;
  TViewList* List;
  QStatusBar* Status;
  QLabel* Panels[3];
};

}  // namespace pelmar
