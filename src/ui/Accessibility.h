#pragma once
// Names for screen readers where a dialog's layout does not give one: a box beside its
// "..." button in a form row takes the row's label, anything else its hint.

class QWidget;

namespace pelmar {

// Call once a dialog's controls exist; names given before are kept.
void NameControlsFromLabels(QWidget* root);

}  // namespace pelmar
