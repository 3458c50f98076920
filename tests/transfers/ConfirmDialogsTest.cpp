// The overwrite, restart and delete questions under the offscreen platform, answered by
// clicking, pressing Escape or closing the window.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

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

TEST(ConfirmDialogs, OverwriteTextsButtonsAndAnswers) {
  TfrmOverwrite dialog("report.txt", Files(100, 200));
  EXPECT_EQ(dialog.windowTitle(), "Confirm File Overwrite");
  EXPECT_EQ(dialog.findChild<QLabel*>("lblPrompt")->text(),
            "This folder already contains a file called 'report.txt'.");
  EXPECT_TRUE(Button(dialog, "btnNo")->isDefault());
  EXPECT_TRUE(Button(dialog, "btnRecovery")->isEnabled()) << "the existing file is smaller";
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
  TfrmOverwrite larger("f", Files(300, 200));
  EXPECT_FALSE(Button(larger, "btnRecovery")->isEnabled());
  larger.reject();  // Escape
  EXPECT_EQ(larger.Answer(), TAnswer::Closed);
}

TEST(ConfirmDialogs, RestartEscapeCloseAndDontShowAgain) {
  Preferences().ConfirmRestarts = true;
  TfrmRestart dialog("big.iso", Files(1000, 209715200));
  EXPECT_EQ(dialog.windowTitle(), "Confirm Restart");
  EXPECT_TRUE(Button(dialog, "btnYes")->isDefault()) << "Enter keeps the bytes already here";
  QStringList texts;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
  const QString shown = texts.join(u'\n');
  EXPECT_TRUE(shown.contains("209,715,200 Bytes")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("1,000 Bytes")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("12:00:00")) << "the time of day, not only the date";
  EXPECT_TRUE(Button(dialog, "btnYesToAll"));
  dialog.reject();  // Escape answers No: the whole file again
  EXPECT_EQ(dialog.Answer(), TAnswer::No);
  EXPECT_TRUE(Preferences().ConfirmRestarts);

  // One file alone: nothing to answer "to All" for, in either question.
  for (QDialog* single :
       std::initializer_list<QDialog*>{new TfrmRestart("one", Files(1, 2, false)),
                                       new TfrmOverwrite("one", Files(1, 2, false))}) {
    EXPECT_EQ(Button(*single, "btnYesToAll"), nullptr);
    EXPECT_EQ(Button(*single, "btnNoToAll"), nullptr);
    delete single;
  }

  TfrmRestart closed("big.iso", Files(1, 2));
  closed.show();
  closed.close();  // the close box skips the file
  EXPECT_EQ(closed.Answer(), TAnswer::Closed);

  TfrmRestart quiet("big.iso", Files(1, 2));
  quiet.findChild<QCheckBox*>("cbDontShow")->setChecked(true);
  Button(quiet, "btnYes")->click();
  EXPECT_EQ(quiet.Answer(), TAnswer::Yes);
  EXPECT_FALSE(Preferences().ConfirmRestarts) << "turned off in memory";
  Preferences().ConfirmRestarts = true;
}

TEST(ConfirmDialogs, DeleteQuestions) {
  const struct {
    int Count;
    const char* Name;
    bool Folder;
    const char* Caption;
    const char* Prompt;
  } cases[] = {
      {2, "a", false, "Confirm Multiple File Delete",
       "Are you sure you want to delete these 2 items?"},
      {1, "renamed stuff", true, "Confirm Folder Delete",
       "Are you sure you want to remove the folder 'renamed stuff' and all its contents?"},
      {1, "<b>a.txt", false, "Confirm File Delete", "Are you sure you want to delete '<b>a.txt'?"},
  };
  for (const auto& c : cases) {
    TfrmConfirm dialog(c.Count, c.Name, c.Folder);
    EXPECT_EQ(dialog.windowTitle(), c.Caption);
    EXPECT_EQ(dialog.findChild<QLabel*>("lblPrompt")->text(), c.Prompt);
    EXPECT_EQ(dialog.findChild<QLabel*>("lblPrompt")->textFormat(), Qt::PlainText)
        << "names as typed";
    EXPECT_TRUE(Button(dialog, "btnNo")->isDefault());
    dialog.reject();
    EXPECT_EQ(dialog.Answer(), TAnswer::No) << "Escape answers No";
  }
  TfrmConfirm yes(1, "a", false);
  Button(yes, "btnYes")->click();
  EXPECT_EQ(yes.Answer(), TAnswer::Yes);
}

}  // namespace
}  // namespace pelmar
