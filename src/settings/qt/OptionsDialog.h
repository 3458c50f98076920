#pragma once
// "General preferences": the dialog over the preferences. Each time it is shown it reloads the
// file; OK writes it, Cancel discards every change.

#include <QDialog>

#include "settings/Preferences.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QWidget;

namespace pelmar {

class TRadioGroup;

class TfrmOptions : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kHelpTopic = 76;

  explicit TfrmOptions(QWidget* parent = nullptr);

  // What showing the dialog does: reload the file, fill the controls, open on "General".
  void PrepareToShow();
  // OK: validates and saves; false (with a message) when the values cannot be saved.
  bool Commit();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* BuildGeneralPage();
  QWidget* BuildAdvancedPage();
  QWidget* BuildConnectionPage();
  QWidget* BuildFirewallPage();
  QWidget* BuildSoundsPage();
  QWidget* BuildFileTypesPage();
  QCheckBox* AddCheck(QWidget* page, const char* name, const QString& caption);
  QLineEdit* AddEdit(const char* name, int maxLength = 32767);
  QPushButton* AddBrowse(const char* name);

  void FillControls();
  void ReadControls(TPreferences& into) const;
  void UpdatePanels();
  void UpdateFileTypeButtons();
  void BrowseSound(int tag);

  TPreferences Edited;  // the values shown; full paths of viewer and log file live here
  QTabWidget* Pages = nullptr;
  QWidget* FirewallPanel = nullptr;
  QWidget* SoundsPanel = nullptr;
};

}  // namespace pelmar
