#include "ui/RadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace pelmar {

TRadioGroup::TRadioGroup(const QString& objectName, const QString& title, const QStringList& items,
                         QWidget* parent)
    : QGroupBox(title, parent) {
  setObjectName(objectName);
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    button->setObjectName(objectName + QString::number(i));
    Buttons.addButton(button, i);
    layout->addWidget(button);
  }
  connect(&Buttons, &QButtonGroup::idClicked, this, &TRadioGroup::ItemIndexChanged);
}

int TRadioGroup::ItemIndex() const {
  return Buttons.checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
  if (auto* button = Buttons.button(index)) button->setChecked(true);
}

}  // namespace pelmar
