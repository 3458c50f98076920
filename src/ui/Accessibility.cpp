#include "ui/Accessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace pelmar {
namespace {

QString LabelText(const QLabel* label) {
  QString text = label->text();
  text.remove(u'&');
  if (text.endsWith(u':')) text.chop(1);
  return text.trimmed();
}

bool TakesInput(const QWidget* widget) {
  return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget) ||
         qobject_cast<const QAbstractItemView*>(widget);
}

}  // namespace

void NameControlsFromLabels(QWidget* root) {
  for (QFormLayout* form : root->findChildren<QFormLayout*>()) {
    for (int row = 0; row < form->rowCount(); ++row) {
      QLayoutItem* labelItem = form->itemAt(row, QFormLayout::LabelRole);
      QLayoutItem* fieldItem = form->itemAt(row, QFormLayout::FieldRole);
      auto* label = labelItem ? qobject_cast<QLabel*>(labelItem->widget()) : nullptr;
      QWidget* field = fieldItem ? fieldItem->widget() : nullptr;
      if (!label || !field || TakesInput(field)) continue;  // a direct buddy names itself
      // A box with its "..." button: the box is what the label describes.
      for (QWidget* child : field->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (TakesInput(child) && child->accessibleName().isEmpty()) {
          child->setAccessibleName(LabelText(label));
        }
      }
    }
  }
  for (QWidget* widget : root->findChildren<QWidget*>()) {
    if (widget->accessibleName().isEmpty() && !widget->toolTip().isEmpty() &&
        (TakesInput(widget) || qobject_cast<QAbstractButton*>(widget))) {
      widget->setAccessibleName(widget->toolTip());
    }
  }
}

}  // namespace pelmar
