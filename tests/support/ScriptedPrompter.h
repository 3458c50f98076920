#pragma once
// A prompter that records every message and answers questions from a script.

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "ui/Prompter.h"

namespace pelmar::test {

class TScriptedPrompter : public IPrompter {
 public:
  void Error(QWidget*, const QString&, const QString& text) override { Messages.push_back(text); }
  bool Confirm(QWidget*, const QString& caption, const QString& text) override {
    Captions.push_back(caption);
    Questions.push_back(text);
    if (Answers.empty()) return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  // Answered from Choices; with none scripted, as Enter would: the default button.
  int Choose(QWidget*, const QString& caption, const QString& text, const QStringList& buttons,
             int defaultButton, int) override {
    Captions.push_back(caption);
    Questions.push_back(text);
    Buttons.push_back(buttons);
    if (Choices.empty()) return defaultButton;
    const int choice = Choices.front();
    Choices.pop_front();
    return choice;
  }

  std::vector<QString> Messages;
  std::vector<QString> Captions;  // of the questions
  std::vector<QString> Questions;
  std::deque<bool> Answers;
  std::vector<QStringList> Buttons;  // of the questions with buttons of their own
  std::deque<int> Choices;
};

}  // namespace pelmar::test
