#pragma once
// The question for an SSH private key's passphrase, for every connection of the program.

class QWidget;

namespace pelmar {

// From now on a key protected by a passphrase asks for it in a password box over `parent`
// (the box does not block the program; Cancel skips the key).
void InstallPassphraseQuestion(QWidget* parent);

}  // namespace pelmar
