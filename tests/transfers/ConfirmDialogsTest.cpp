// The overwrite, restart and delete questions under the offscreen platform, answered by
// clicking, pressing Escape or closing the window.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <memory>

#include "settings/Preferences.h"
#include "transfers/qt/ConfirmDialogs.h"

namespace pelmar {
namespace {

QPushButton* Button(QWidget& dialog, const char* name) {
  return dialog.findChild<QPushButton*>(name);
}

TQuestionFiles Files(int64_t existing, int64_t incoming, bool offerAll = true) {
  return {existing, 46000, incoming, 46001.5, offerAll};
}

// Enter and Escape take the answer that loses nothing; the close box skips; each button gives
// its own answer.
TEST(ConfirmDialogs, EnterEscapeTheCloseBoxAndEveryButton) {
  using TMake = std::function<TAnswerDialog*()>;
  const struct {
    const char* Case;
    TMake Make;
    const char* Default;
    TAnswer Escape;
  } cases[] = {
      {"overwrite", [] { return new TfrmOverwrite("f", Files(1, 2)); }, "btnNo", TAnswer::Closed},
      {"restart: Enter keeps the bytes already here",
       [] { return new TfrmRestart("f", Files(1, 2)); }, "btnYes", TAnswer::No},
      {"delete", [] { return new TfrmConfirm(1, "f", false); }, "btnNo", TAnswer::No},
  };
  for (const auto& c : cases) {
    std::unique_ptr<TAnswerDialog> escaped(c.Make());
    EXPECT_TRUE(Button(*escaped, c.Default)->isDefault()) << c.Case;
    escaped->reject();
    EXPECT_EQ(escaped->Answer(), c.Escape) << c.Case;
    std::unique_ptr<TAnswerDialog> closed(c.Make());
    closed->show();
    closed->close();
    EXPECT_EQ(closed->Answer(), TAnswer::Closed) << c.Case;
  }
  const struct {
    const char* Button;
    TAnswer Answer;
  } clicks[] = {{"btnYes", TAnswer::Yes},
                {"btnNo", TAnswer::No},
                {"btnYesToAll", TAnswer::YesToAll},
                {"btnNoToAll", TAnswer::NoToAll},
                {"btnRecovery", TAnswer::Recovery}};
  for (const auto& click : clicks) {
    TfrmOverwrite asked("f", Files(1, 2));
    Button(asked, click.Button)->click();
    EXPECT_EQ(asked.Answer(), click.Answer) << click.Button;
  }
}

TEST(ConfirmDialogs, WhatTheQuestionsOffer) {
  TfrmOverwrite smaller("f", Files(100, 200));
  EXPECT_TRUE(Button(smaller, "btnRecovery")->isEnabled());
  TfrmOverwrite larger("f", Files(300, 200));
  EXPECT_FALSE(Button(larger, "btnRecovery")->isEnabled()) << "the existing file is larger";
  // One file alone: nothing to answer "to All" for, in either question.
  TfrmRestart single("one", Files(1, 2, false));
  EXPECT_EQ(Button(single, "btnYesToAll"), nullptr);
  TfrmOverwrite alone("one", Files(1, 2, false));
  EXPECT_EQ(Button(alone, "btnNoToAll"), nullptr);

  Preferences().ConfirmRestarts = true;
  TfrmRestart restart("big.iso", Files(1000, 209715200));
  QStringList texts;
  for (const QLabel* label : restart.findChildren<QLabel*>()) texts << label->text();
  const QString shown = texts.join(u'\n');
  EXPECT_TRUE(shown.contains("209,715,200 Bytes")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("1,000 Bytes")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("12:00:00")) << "the time of day, not only the date";
  restart.findChild<QCheckBox*>("cbDontShow")->setChecked(true);
  Button(restart, "btnYes")->click();
  EXPECT_FALSE(Preferences().ConfirmRestarts) << "turned off in memory";
  Preferences().ConfirmRestarts = true;

  const struct {
    int Count;
    const char* Name;
    bool Folder;
    const char* Prompt;
  } deletes[] = {
      {2, "a", false, "Are you sure you want to delete these 2 items?"},
      {1, "renamed stuff", true,
       "Are you sure you want to remove the folder 'renamed stuff' and all its contents?"},
      {1, "<b>a.txt", false, "Are you sure you want to delete '<b>a.txt'?"},
  };
  for (const auto& c : deletes) {
    TfrmConfirm dialog(c.Count, c.Name, c.Folder);
    const auto* prompt = dialog.findChild<QLabel*>("lblPrompt");
    EXPECT_EQ(prompt->text(), c.Prompt);
    EXPECT_EQ(prompt->textFormat(), Qt::PlainText) << "names as typed";
  }
}

}  // namespace
}  // namespace pelmar
