#pragma once
// Pelmar's help: HTML pages compiled into the program, shown in a help window of their own,
// and the short "What's This?" texts of the main window's buttons.

#include <QWidget>

class QTextBrowser;

namespace pelmar {

inline constexpr int kHelpContents = 0;

// The page of a help topic ("qrc:/pelmar/help/....html"); the contents for a topic without
// a page of its own.
QString HelpPageFor(int topic);
// The "What's This?" text of a control's topic; empty for a number no control uses.
QString WhatsThisText(int topic);
// Writes the help pages into `folder` (made when missing) so that a web browser can show
// them; returns false when a page cannot be written.
bool WriteHelpPages(const QString& folder);

class THelpWindow : public QWidget {
  Q_OBJECT
 public:
  explicit THelpWindow(QWidget* parent = nullptr);
  void ShowTopic(int topic);
  QString CurrentPage() const;

 private:
  QTextBrowser* Pages;
};

}  // namespace pelmar
