#pragma once
// The local pane's file operations, apart from the pane so they can be tested on their own:
// the trash, permanent deletion, the clipboard formats the desktop's file managers use
// (text/uri-list and x-special/gnome-copied-files), pasting with its questions, and the
// properties dialog.

#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

namespace pelmar {

// Moves each path to the desktop trash; returns those that could not go there.
QStringList MoveToTrash(const QStringList& paths);
// Deletes files and whole folders; returns those that could not be deleted.
QStringList DeleteForGood(const QStringList& paths);

struct TClipboardFiles {
  QStringList Paths;
  bool Cut = false;  // moved by the paste, not copied
};
// Both formats, so that file managers and other programs can paste what the pane copied.
QMimeData* FilesMimeData(const QStringList& paths, bool cut);
// Local files named on the clipboard by a file manager or by a pane; Cut from the GNOME format.
TClipboardFiles ReadClipboardFiles(const QMimeData* data);

// Copies (or moves, for cut files) into `folder`, folders with everything in them. An existing
// target is replaced only when `replace` says yes. Pasting a file into its own folder makes
// "name (copy)". Returns what failed, with the reason.
QStringList PasteFiles(const TClipboardFiles& files, const QString& folder,
                       const std::function<bool(const QString& target)>& replace);

// Name, type, location, size, modification time and permissions of local entries.
void ShowLocalProperties(QWidget* parent, const QStringList& paths);

}  // namespace pelmar
