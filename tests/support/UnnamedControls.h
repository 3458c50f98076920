#pragma once
// What a screen reader says for each control that takes input: never nothing.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTabBar>

namespace pelmar::test {

// The controls below `top` that a screen reader would announce without a name, as
// "objectName (class)". A list's column header is announced through its sections, a combo
// box's or spin box's own line edit (and a combo's drop-down list) with the box.
inline QStringList UnnamedControls(QWidget& top) {
  QStringList unnamed;
  for (QWidget* widget : top.findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(widget) ||
                         qobject_cast<QComboBox*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                         qobject_cast<QAbstractItemView*>(widget) ||
                         qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QTabBar*>(widget);
    if (!control || widget->isHidden() || qobject_cast<QHeaderView*>(widget) ||
        qobject_cast<QComboBox*>(widget->parentWidget()) ||
        qobject_cast<QAbstractSpinBox*>(widget->parentWidget()) ||
        widget->parentWidget()->inherits("QComboBoxPrivateContainer")) {
      continue;
    }
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty()) {
      unnamed << widget->objectName() + " (" + widget->metaObject()->className() + ")";
    }
  }
  return unnamed;
}

}  // namespace pelmar::test
