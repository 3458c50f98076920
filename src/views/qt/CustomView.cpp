#include "views/qt/CustomView.h"

#include <QAbstractItemView>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "text/PaneTexts.h"
#include "transfers/TransferQueue.h"
#include "ui/ElidedLabel.h"
#include "ui/QtText.h"

namespace pelmar {
namespace {

constexpr const char* kViewProperty = "pelmarView";

}  // namespace

TCustomView::TCustomView(QWidget* parent, char separator)
    : QObject(parent),
      Separator(separator),
      List(new TViewList(parent)),
      Status(new QStatusBar(parent)) {
  Status->setSizeGripEnabled(false);
  const int widths[3] = {120, 172, 0};
  for (int i = 0; i < 3; ++i) {
    Panels[i] = new TElidedLabel(Status);
    Panels[i]->setObjectName(QString(QStringLiteral("StatusPanel%1")).arg(i));
    if (widths[i] > 0) {
      // At most their width, less in a narrow window (the hint shows a cut text in full).
      Panels[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
      Panels[i]->setMinimumWidth(widths[i] / 4);
      Panels[i]->setMaximumWidth(widths[i]);
      Status->addWidget(Panels[i], widths[i]);
    } else {
      Panels[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      Status->addPermanentWidget(Panels[i], 1);
    }
  }
  if (parent && !parent->layout()) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
  }
  if (parent) {
    parent->layout()->addWidget(List);
    parent->layout()->addWidget(Status);
  }
  for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(List->Icons()),
                                  static_cast<QAbstractItemView*>(List->Details())}) {
    view->setProperty(kViewProperty, QVariant::fromValue(static_cast<QObject*>(this)));
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex&) {
      const auto selected = List->SelectedItems();
      if (selected.isEmpty()) return;
      if (QGuiApplication::keyboardModifiers() & Qt::AltModifier) {
        ShowProperties();
      } else {
        DoubleClick(List->FocusedItem().isValid() ? List->FocusedItem() : selected.first());
      }
    });
  }
  // The selection text follows the selection however it changed; many changes in a row
  // (select all, a shift-click over thousands of rows) refresh it once.
  connect(List, &TViewList::SelectionChanged, this, [this] {
    if (StatusPending) return;
    StatusPending = true;
    QTimer::singleShot(0, this, [this] {
      StatusPending = false;
      RefreshStatus();
    });
  });
  SetMask(QString());
}

TCustomView::~TCustomView() {
  if (Queue) Queue->ForgetView(this, this);
}

// An empty folder text stays empty: a remote pane then starts in the log-on folder.
QString TCustomView::Folder() const {
  QString folder = FolderText;
  if (!folder.isEmpty() && !folder.endsWith(QChar::fromLatin1(Separator)))
    folder += QChar::fromLatin1(Separator);
  return folder;
}

void TCustomView::SetFolder(const QString& folder) {
  const QString before = FolderText;
  FolderText = folder;
  if (!FolderText.isEmpty() && !FolderText.endsWith(QChar::fromLatin1(Separator))) {
    FolderText += QChar::fromLatin1(Separator);
  }
  TotalSize = -1;
  RefreshStatus();
  if (FolderText != before) emit FolderChanged(FolderText);
}

void TCustomView::SetMask(const QString& text) {
  Panels[2]->setText(text.isEmpty() ? QStringLiteral("*.*") : text.toLower());
  Panels[2]->setToolTip(Panels[2]->text());
}

void TCustomView::DoubleClick(const QModelIndex& item) {
  if (!item.isValid()) return;
  if (!IsFolder(item) && OnPerformDoubleClick) {
    OnPerformDoubleClick(*this, item);
  } else {
    OpenItem(item);
  }
}

void TCustomView::RenameFocused() {
  const QModelIndex item = List->FocusedItem();
  if (item.isValid()) List->EditCaption(item);
}

void TCustomView::SelectAll() {
  const bool updates = DoUpdates;
  DoUpdates = false;
  List->SelectAll();
  DoUpdates = updates;
  RefreshStatus();
}

void TCustomView::InvertSelection() {
  const bool updates = DoUpdates;
  DoUpdates = false;
  List->InvertSelection();
  DoUpdates = updates;
  RefreshStatus();
}

bool TCustomView::SendSelection(TCustomView* target) {
  if (!target) return false;
  return target->ReceiveSelection(*this);
}

void TCustomView::RefreshStatus() {
  if (!DoUpdates) return;
  const QModelIndexList selected = List->SelectedItems();
  emit StateUpdated(0, static_cast<int>(selected.size()));
  const int count = List->RowCount();
  if (TotalSize < 0) {
    TotalSize = 0;
    for (int row = 0; row < count; ++row) TotalSize += GetItemSize(List->Row(row));
  }
  int64_t selectedSize = 0;
  for (const QModelIndex& item : selected) selectedSize += GetItemSize(item);
  if (!List->isEnabled() && count == 0) {
    // A pane without a connection has no entries to count (not "0 Entries, 0 Bytes").
    Panels[0]->clear();
    Panels[1]->clear();
    return;
  }
  Panels[0]->setText(Q(EntriesText(count, TotalSize)));
  Panels[1]->setText(Q(SelectedText(static_cast<int>(selected.size()), selectedSize)));
  // A cut-off panel text can be read in full under the pointer.
  Panels[0]->setToolTip(Panels[0]->text());
  Panels[1]->setToolTip(Panels[1]->text());
}

QString TCustomView::PanelText(int panel) const {
  return panel >= 0 && panel < 3 ? Panels[panel]->text() : QString();
}

TCustomView* TCustomView::ViewOf(const QObject* widget) {
  for (const QObject* at = widget; at; at = at->parent()) {
    const QVariant view = at->property(kViewProperty);
    if (view.isValid()) return qobject_cast<TCustomView*>(view.value<QObject*>());
  }
  return nullptr;
}

namespace {

// The local paths of a drag from another program: file:// addresses only, else none.
QStringList DroppedLocalPaths(const QDropEvent& drop) {
  QStringList paths;
  if (drop.source() || !drop.mimeData()->hasUrls()) return paths;
  for (const QUrl& url : drop.mimeData()->urls()) {
    if (!url.isLocalFile()) return {};
    paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

TCustomView* TCustomView::DropSourceFor(const QObject* dragSource) const {
  TCustomView* source = ViewOf(dragSource);
  // Only a selection from the other pane; a pane never takes its own items.
  return source && source != this && AcceptsDrop() ? source : nullptr;
}

bool TCustomView::HandleKey(int key, Qt::KeyboardModifiers modifiers) {
  const bool ctrl = modifiers & Qt::ControlModifier;
  const bool shift = modifiers & Qt::ShiftModifier;
  const bool alt = modifiers & Qt::AltModifier;
  const bool anySelected = !List->SelectedItems().isEmpty();
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (alt) {
        ShowProperties();
      } else if (!ctrl && !shift) {
        DoubleClick(List->FocusedItem());
      } else {
        return false;
      }
      return true;
    case Qt::Key_Delete:
      // Shift+Delete alone deletes without the question.
      if (anySelected) DeleteSelected(modifiers != Qt::ShiftModifier);
      return true;
    case Qt::Key_F2:
      RenameFocused();
      return true;
    case Qt::Key_F5:
      RefreshFolder();
      return true;
    case Qt::Key_A:
      if (!ctrl) return false;
      if (shift) {
        InvertSelection();
      } else {
        SelectAll();
      }
      return true;
    case Qt::Key_C:
    case Qt::Key_X:
    case Qt::Key_V:
      if (!ctrl) return false;
      if (key == Qt::Key_C) Copy();
      if (key == Qt::Key_X) Cut();
      if (key == Qt::Key_V) Paste();
      return true;
    case Qt::Key_Backspace:
      FolderUp();
      return true;
    case Qt::Key_Menu:
      ShowContextMenuAtFocus();
      return true;
    case Qt::Key_F10:  // Shift+F10, the other key for the popup menu
      if (!shift || ctrl || alt) return false;
      ShowContextMenuAtFocus();
      return true;
    default:
      return false;
  }
}

void TCustomView::ShowContextMenuAtFocus() {
  QAbstractItemView* view = List->Current();
  const QModelIndex focused = List->FocusedItem();
  // At the item the keyboard is on, brought into view first, never at the mouse pointer.
  if (focused.isValid()) view->scrollTo(focused);
  const QPoint at = focused.isValid() ? view->visualRect(focused).center() : QPoint(0, 0);
  emit view->customContextMenuRequested(at);
}

bool TCustomView::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      if (List->IsEditing()) break;
      auto* key = static_cast<QKeyEvent*>(event);
      const bool handled = HandleKey(key->key(), key->modifiers());
      RefreshStatus();
      if (handled) return true;
      break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      if (List->isEnabled()) RefreshStatus();
      break;
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (!(mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) RefreshStatus();
      break;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      const bool shift = drag->modifiers() & Qt::ShiftModifier;
      if (DropSourceFor(drag->source())) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else if (AcceptsDrop() && !DroppedLocalPaths(*drag).isEmpty()) {
        drag->setDropAction(shift ? Qt::MoveAction : Qt::CopyAction);
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (TCustomView* source = DropSourceFor(drop->source())) {
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        source->SendSelection(this);
      } else if (const QStringList paths = DroppedLocalPaths(*drop);
                 AcceptsDrop() && !paths.isEmpty()) {
        const bool move = drop->modifiers() & Qt::ShiftModifier;
        drop->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
        drop->accept();
        ReceiveDroppedFiles(paths, move);
      } else {
        drop->ignore();
      }
      return true;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace pelmar
