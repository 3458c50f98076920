#pragma once
// The three questions of transfers and deletions: replace an existing file, resume a broken
// transfer, delete remote entries. Each is made for one question; Answer() gives the reply
// after the dialog closed (Closed when it was closed without a button).

#include <QDialog>
#include <QString>
#include <functional>

#include "platform/DateTime.h"
#include "transfers/QueueDecision.h"

class QCheckBox;
class QPushButton;

namespace pelmar {

class TAnswerDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TAnswerDialog(QWidget* parent) : QDialog(parent) {}
  TAnswer Answer() const { return Given; }
  void reject() override;  // Escape (or the close box)

 protected:
  QPushButton* AddAnswer(const char* name, const QString& caption, TAnswer answer);
  void closeEvent(QCloseEvent* event) override;  // the close box: Closed

  TAnswer EscapeAnswer = TAnswer::Closed;

 private:
  TAnswer Given = TAnswer::Closed;
  bool ClosingWindow = false;
};

class TfrmOverwrite : public TAnswerDialog {
  Q_OBJECT
 public:
  TfrmOverwrite(const QString& fileName, const TQuestionFiles& files, QWidget* parent = nullptr,
                bool canRecover = true);
};

class TfrmRestart : public TAnswerDialog {
  Q_OBJECT
 public:
  TfrmRestart(const QString& fileName, const TQuestionFiles& files, QWidget* parent = nullptr);

 protected:
  void done(int result) override;

 private:
  QCheckBox* DontShowAgain = nullptr;
};

class TfrmConfirm : public TAnswerDialog {
  Q_OBJECT
 public:
  TfrmConfirm(int count, const QString& name, bool isFolder, QWidget* parent = nullptr);
};

// Asks whether to delete `count` remote entries (`name` the one entry, `isFolder` whether it is
// a folder) with TfrmConfirm, through the prompter; true for Yes.
bool ConfirmRemoteDelete(QWidget* parent, int count, const QString& name, bool isFolder);

// The application's answers to the queuing questions: the dialogs above, shown modally.
class TDialogQueueQuestions : public IQueueQuestions {
 public:
  explicit TDialogQueueQuestions(QWidget* parent) : Parent(parent) {}
  TAnswer AskOverwrite(const std::string& name, const TQuestionFiles& files,
                       bool canRecover) override;
  void Note(const std::string& text) override {
    if (OnNote) OnNote(text);
  }
  std::function<void(const std::string& text)> OnNote;
  TAnswer AskRestart(const std::string& name, const TQuestionFiles& files) override;

 private:
  QWidget* Parent;
};

}  // namespace pelmar
