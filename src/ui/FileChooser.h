#pragma once
// File and folder browsing for the dialogs' "Browse..." buttons, replaceable in tests.

#include <QString>
#include <memory>

class QWidget;

namespace pelmar {

class IFileChooser {
 public:
  virtual ~IFileChooser() = default;
  // Each returns the chosen path, or an empty string when the user cancelled.
  virtual QString OpenFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& start) = 0;
  virtual QString SaveFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& defaultSuffix, const QString& start) = 0;
  virtual QString Folder(QWidget* parent, const QString& title, const QString& start) = 0;
};

IFileChooser& FileChooser();
void SetFileChooser(std::shared_ptr<IFileChooser> chooser);

}  // namespace pelmar
