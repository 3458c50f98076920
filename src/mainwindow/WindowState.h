#pragma once
// What the main window keeps between runs in the registry stand-in (pelmar-window.ini in the
// data folder, through QSettings): bounds, window state, view styles, log height, toolbar size
// and the last eight connections. Read once at creation, written once at close.

#include <QByteArray>
#include <QRect>
#include <QString>
#include <array>

class QSettings;

namespace pelmar {

// How the main window was shown, as stored ("State").
enum TShowState : int { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

struct TWindowState {
  QRect Bounds{163, 102, 634, 469};
  TShowState State = wsNormal;
  int LocalViewStyle = 2;
  int HostViewStyle = 2;
  int LogHeight = 97;
  int ToolBarMin = 30;  // below 60: the small toolbar
  std::array<QString, 8> LastConnections;
  // Beyond the first design: the local folder shown at close, and each pane's columns
  // (widths and, locally, the sort), as QHeaderView::saveState gives them.
  QString LocalFolder;
  QByteArray LocalColumns;
  QByteArray HostColumns;
  // Each pane's sort: the column counted from 1 (Name), negative when descending.
  int LocalSort = 1;
  int HostSort = 1;
};

// Missing or unreadable values give the defaults; "0x..." is read as hexadecimal.
TWindowState ReadWindowState(QSettings& settings);
// The bounds are written only when the window state is normal.
void WriteWindowState(QSettings& settings, const TWindowState& state);

// The most recent first: a name already in slot k moves to the top, a new one pushes the
// eighth out; the first entry stays where it is.
void AddLastConnection(std::array<QString, 8>& entries, const QString& name);

}  // namespace pelmar
