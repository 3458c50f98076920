#pragma once
// One side of the window (local or server): its commands, and the view they act on. When the
// tab changes the side lets go of the old view and follows the new one, whose state reports
// then drive the enabling of the side's commands.

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include "mainwindow/Commands.h"
#include "views/qt/CustomView.h"

namespace pelmar {

class TPaneSide : public QObject {
  Q_OBJECT
 public:
  explicit TPaneSide(QObject* parent) : QObject(parent) {}

  TPaneCommands Commands;

  TCustomView* View() const { return Current; }
  // Follows `view` from now on and reports its state at once (the enabling of a tab that
  // becomes current must not be the previous tab's).
  void SetView(TCustomView* view) {
    disconnect(Watch);
    disconnect(WatchFolder);
    Current = view;
    if (!view) return;
    Watch = connect(view, &TCustomView::StateUpdated, this, &TPaneSide::CurrentStateUpdated);
    WatchFolder =
        connect(view, &TCustomView::FolderChanged, this, &TPaneSide::CurrentFolderChanged);
    emit CurrentStateUpdated(0, view->SelectedCount());
    emit CurrentFolderChanged(view->Folder());
  }

 signals:
  // The current view's status refresh (code 0, with the selection count) or state code.
  void CurrentStateUpdated(int code, int selected);
  // The current view shows another folder, or another view became current.
  void CurrentFolderChanged(const QString& folder);

 private:
  QPointer<TCustomView> Current;
  QMetaObject::Connection Watch;
  QMetaObject::Connection WatchFolder;
};

}  // namespace pelmar
