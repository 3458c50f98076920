#pragma once
// The properties of the entries selected in the remote pane: for one its name, type, location,
// size and date, for several a summary; and the nine Unix permission boxes, whose change the
// pane sends to the server for every selected entry.

#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <array>
#include <vector>

class QCheckBox;
class QPushButton;

namespace pelmar {

struct TPropertyEntry {
  QString Name;
  QString Type;
  int64_t Size = 0;
  QDateTime Modified;
  uint16_t Attributes = 0;  // folder 1, link 2, permissions 4..1024
  QIcon Icon;
};

class TfrmProperties : public QDialog {
  Q_OBJECT
 public:
  // `location` is the folder with its trailing "/"; boxes are editable only for Unix listings.
  TfrmProperties(const std::vector<TPropertyEntry>& entries, const QString& location, bool editable,
                 QWidget* parent = nullptr);

  // The permission bits of the checked boxes when a box was touched, else 0.
  uint16_t Attributes() const;
  bool Changed() const { return Touched; }

  // "2KB (2048 Bytes)": the short size (MB from 1048577, KB from 1025) and the exact count.
  static QString SizeText(int64_t bytes);
  QString Text(const char* labelName) const;

 private:
  std::array<QCheckBox*, 9> Boxes{};
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  bool Touched = false;
};

}  // namespace pelmar
