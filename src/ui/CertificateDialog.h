#pragma once
// Asks a person about a server certificate that failed verification (what it is, why it
// failed), or about an SSH server's host key that is not known (its type and fingerprint), and
// "Trust always", "Trust once" or "Cancel". Opened without a nested event loop;
// the answer goes out once, when the dialog closes (closing it any other way is Cancel).

#include <QDialog>
#include <functional>

#include "engine/EventRecords.h"
#include "engine/Messages.h"

namespace pelmar {

class TdlgCertificate : public QDialog {
  Q_OBJECT
 public:
  TdlgCertificate(QWidget* parent, const TCertificateEventData& question,
                  std::function<void(TTrustDecision)> answer);

  // Shows a dialog for every question of every connection (the engine's certificate hook).
  static void InstallAsCertificateHook(QWidget* parent);

 private:
  void Decide(TTrustDecision decision);

  std::function<void(TTrustDecision)> Answer;
};

}  // namespace pelmar
