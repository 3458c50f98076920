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

TEST(ConfirmDialogs, OverwriteTextsButtonsAndAnswers) {
  TfrmOverwrite dialog("report.txt", 100, 46000, 200, 46001);
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
    TfrmOverwrite asked("f", 1, 46000, 2, 46001);
    Button(asked, click.Button)->click();
    EXPECT_EQ(asked.Answer(), click.Answer) << click.Button;
  }
  TfrmOverwrite larger("f", 300, 46000, 200, 46001);
  EXPECT_FALSE(Button(larger, "btnRecovery")->isEnabled());
  larger.reject();  // Escape
  EXPECT_EQ(larger.Answer(), TAnswer::Closed);
}

TEST(ConfirmDialogs, RestartEscapeCloseAndDontShowAgain) {
  Preferences().ConfirmRestarts = true;
  TfrmRestart dialog("big.iso");
  EXPECT_EQ(dialog.windowTitle(), "Confirm Restart of big.iso");
  EXPECT_TRUE(Button(dialog, "btnYesToAll")->isDefault());
  dialog.reject();  // Escape answers No: the whole file again
  EXPECT_EQ(dialog.Answer(), TAnswer::No);
  EXPECT_TRUE(Preferences().ConfirmRestarts);

  TfrmRestart closed("big.iso");
  closed.show();
  closed.close();  // the close box skips the file
  EXPECT_EQ(closed.Answer(), TAnswer::Closed);

  TfrmRestart quiet("big.iso");
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
