#pragma once
// A status panel's label: a text longer than the panel ends in "..." instead of running into
// the next panel or being cut mid-letter; text() and the tooltip keep the whole text.

#include <QLabel>

namespace pelmar {

class TElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pelmar
