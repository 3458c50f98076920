#pragma once
// A titled group of radio buttons with an item index, as the preferences use for choices.

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace pelmar {

class TRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  TRadioGroup(const QString& objectName, const QString& title, const QStringList& items,
              QWidget* parent = nullptr);

  int ItemIndex() const;
  void SetItemIndex(int index);
  QAbstractButton* Button(int index) const { return Buttons.button(index); }

 signals:
  void ItemIndexChanged(int index);

 private:
  QButtonGroup Buttons;
};

}  // namespace pelmar
