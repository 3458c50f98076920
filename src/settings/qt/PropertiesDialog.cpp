#include "settings/qt/PropertiesDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "text/TextUtils.h"
#include "ui/QtText.h"

namespace pelmar {
namespace {

constexpr uint16_t kPermissionBits = 2044;  // the nine boxes

}  // namespace

QString TfrmProperties::SizeText(int64_t bytes) {
  QString shortSize;
  if (bytes >= 1048577) {
    shortSize = QString::number(bytes / 1048576) + QStringLiteral("MB");
  } else if (bytes >= 1025) {
    shortSize = QString::number(bytes / 1024) + QStringLiteral("KB");
  } else {
    shortSize = QString::number(bytes);
  }
  return QString(QStringLiteral("%1 (%2 %3)"))
      .arg(shortSize)
      .arg(Q(ThousandsText(std::to_string(bytes))))
      .arg(QStringLiteral("Bytes"));
}

TfrmProperties::TfrmProperties(const std::vector<TPropertyEntry>& entries, const QString& location,
                               bool editable, QWidget* parent)
    : QDialog(parent) {
  setObjectName("TfrmProperties");
  auto* layout = new QVBoxLayout(this);
  auto* pages = new QTabWidget(this);
  auto* page = new QWidget(pages);
  pages->addTab(page, QStringLiteral("General"));
  layout->addWidget(pages);
  auto* form = new QFormLayout(page);
  auto label = [&](const char* name, const QString& caption, const QString& text) {
    auto* value = new QLabel(text, page);
    value->setObjectName(name);
    if (caption.isEmpty()) {
      form->addRow(value);
    } else {
      form->addRow(caption, value);
    }
    return value;
  };
  const TPropertyEntry& first = entries.front();
  QString folder = location;
  folder.chop(1);
  int64_t total = 0;
  uint16_t common = kPermissionBits;
  // Whether all entries share one type (a set here trips a false GCC warning inside QHash).
  bool oneType = true;
  int files = 0;
  int folders = 0;
  for (const auto& entry : entries) {
    total += entry.Size;
    common &= entry.Attributes;
    oneType = oneType && entry.Type == first.Type;
    ((entry.Attributes & 1) ? folders : files)++;
  }
  QLabel* icon = label("imgIcon", QString(), QString());
  if (entries.size() == 1) {
    setWindowTitle(first.Name + QStringLiteral(" Properties"));
    label("lblName", QString(), first.Name);
    label("lblType", QStringLiteral("Type"), first.Type);
    common = static_cast<uint16_t>(first.Attributes & ~3);
    icon->setPixmap(first.Icon.pixmap(32, 32));
  } else {
    setWindowTitle(first.Name + QStringLiteral(",... Properties"));
    label("lblName", QString(),
          QString(QStringLiteral("%1 Files, %2 Folders")).arg(files).arg(folders));
    label("lblType", QStringLiteral("Type"),
          oneType ? first.Type : QString(QStringLiteral("Multiple Types")));
    if (oneType) icon->setPixmap(first.Icon.pixmap(32, 32));
  }
  label("lblLocation", QStringLiteral("Location"),
        folder.isEmpty() ? QString(QStringLiteral("(Server Root)")) : folder);
  label("lblSize", QStringLiteral("Size"), SizeText(total));
  label("lblModified", QStringLiteral("Modified"),
        entries.size() == 1 ? QLocale().toString(first.Modified.date(), QLocale::LongFormat)
                            : QString(QStringLiteral("Multiple Dates")));
  auto* group = new QGroupBox(QStringLiteral("Attributes:"), page);
  group->setObjectName("gbAttributes");
  auto* grid = new QGridLayout(group);
  const char* const names[9] = {"cbOwnerRead", "cbOwnerWrite", "cbOwnerExecute",
                                "cbGroupRead", "cbGroupWrite", "cbGroupExecute",
                                "cbAllRead",   "cbAllWrite",   "cbAllExecute"};
  const char* const rows[3] = {"Owner", "Group", "Everyone"};
  const char* const columns[3] = {"Read", "Write", "Execute"};
  for (int row = 0; row < 3; ++row) {
    grid->addWidget(new QLabel(QString::fromLatin1(rows[row]), group), row, 0);
    for (int column = 0; column < 3; ++column) {
      const int index = row * 3 + column;
      auto* box = new QCheckBox(QString::fromLatin1(columns[column]), group);
      box->setObjectName(names[index]);
      box->setChecked(common & (4 << index));
      box->setEnabled(editable);
      grid->addWidget(box, row, column + 1);
      Boxes[static_cast<size_t>(index)] = box;
    }
  }
  group->setEnabled(editable);
  form->addRow(group);
  auto* buttons = new QDialogButtonBox(this);
  btnOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setEnabled(false);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // Set up without counting as a change; a click on any box is one.
  for (QCheckBox* box : Boxes) {
    connect(box, &QCheckBox::clicked, this, [this] {
      Touched = true;
      btnCancel->setEnabled(true);
    });
  }
}

uint16_t TfrmProperties::Attributes() const {
  if (!Touched) return 0;
  uint16_t attributes = 0;
  for (size_t i = 0; i < Boxes.size(); ++i) {
    if (Boxes[i]->isChecked()) attributes = static_cast<uint16_t>(attributes | (4 << i));
  }
  return attributes;
}

QString TfrmProperties::Text(const char* labelName) const {
  const auto* label = findChild<QLabel*>(QLatin1String(labelName));
  return label ? label->text() : QString();
}

}  // namespace pelmar
