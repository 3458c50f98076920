#pragma once
// The main window's commands as typed actions: one QAction per command, shared by its toolbar
// button, menu item, popup item and shortcut. The window looks them up by name once, when it
// has made them; everything else uses these members.

class QAction;

namespace pelmar {

// The commands of one pane side; the local side alone has the clipboard ones, the server side
// alone EditFile (the file edited in place with the preferences' editor).
struct TPaneCommands {
  QAction* Up = nullptr;
  QAction* ChDir = nullptr;
  QAction* NewView = nullptr;
  QAction* CloseView = nullptr;
  QAction* Edit = nullptr;
  QAction* EditNotePad = nullptr;
  QAction* EditTessaro = nullptr;
  QAction* EditFile = nullptr;
  QAction* Refresh = nullptr;
  QAction* NewFolder = nullptr;
  QAction* Rename = nullptr;
  QAction* Delete = nullptr;
  QAction* Mask = nullptr;
  QAction* ViewStyle = nullptr;
  QAction* Properties = nullptr;
  QAction* Cut = nullptr;
  QAction* Copy = nullptr;
  QAction* Paste = nullptr;
};

struct TWindowCommands {
  QAction* Connect = nullptr;
  QAction* ConnectUrl = nullptr;
  QAction* Stop = nullptr;
  QAction* Disconnect = nullptr;
  QAction* DisconnectTransfer = nullptr;
  QAction* Upload = nullptr;
  QAction* Download = nullptr;
  QAction* CompareFolders = nullptr;
  QAction* Synchronize = nullptr;
  QAction* SelectAll = nullptr;
  QAction* InvertSelect = nullptr;
  QAction* Options = nullptr;
  QAction* TransferManager = nullptr;
  QAction* TransferInfo = nullptr;
  QAction* MaximizeHost = nullptr;
  QAction* ShowLog = nullptr;
  QAction* Explorer = nullptr;
};

}  // namespace pelmar
