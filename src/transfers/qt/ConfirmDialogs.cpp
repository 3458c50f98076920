#include "transfers/qt/ConfirmDialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStyle>
#include <QTime>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "settings/Preferences.h"
#include "text/TextUtils.h"
#include "ui/Prompter.h"

namespace pelmar {
namespace {

// Dialog results stand for the answers.
int Code(TAnswer answer) {
  return 100 + static_cast<int>(answer);
}

// Date and time to the second: two copies of a file written the same day differ only there.
QString WhenModified(TDateTime value) {
  if (value == 0) return QStringLiteral("an unknown date");
  const TDate date = DecodeDate(value);
  const auto seconds =
      std::min(86399, static_cast<int>(std::lround((value - std::floor(value)) * 86400)));
  const QLocale locale;
  return locale.toString(QDate(date.Year, date.Month, date.Day), QLocale::LongFormat) +
         QStringLiteral(" ") + QTime(0, 0).addSecs(seconds).toString(QStringLiteral("HH:mm:ss"));
}

// One file's row: its type's icon, size and date.
QWidget* FileRow(const QString& fileName, int64_t size, TDateTime date, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  auto* icon = new QLabel(row);
  const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
  QIcon themed = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
  if (themed.isNull()) themed = QFileIconProvider().icon(QFileIconProvider::File);
  icon->setPixmap(themed.pixmap(32, 32));
  layout->addWidget(icon);
  auto* text = new QLabel(QString(QStringLiteral("%1 %2\nmodified on %3"))
                              .arg(QString::fromStdString(ThousandsText(std::to_string(size))))
                              .arg(QStringLiteral("Bytes"))
                              .arg(WhenModified(date)),
                          row);
  layout->addWidget(text, 1);
  return row;
}

}  // namespace

QPushButton* TAnswerDialog::AddAnswer(const char* name, const QString& caption, TAnswer answer) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(name);
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this, [this, answer] {
    Given = answer;
    done(Code(answer));
  });
  return button;
}

void TAnswerDialog::reject() {
  Given = ClosingWindow ? TAnswer::Closed : EscapeAnswer;
  done(Code(Given));
}

void TAnswerDialog::closeEvent(QCloseEvent* event) {
  ClosingWindow = true;
  QDialog::closeEvent(event);
  ClosingWindow = false;
}

TfrmOverwrite::TfrmOverwrite(const QString& fileName, const TQuestionFiles& files, QWidget* parent,
                             bool canRecover)
    : TAnswerDialog(parent) {
  setObjectName("frmOverwrite");
  setWindowTitle(QStringLiteral("Confirm File Overwrite"));
  auto* layout = new QVBoxLayout(this);
  auto* prompt = new QLabel(
      QString(QStringLiteral("This folder already contains a file called '%1'.")).arg(fileName),
      this);
  prompt->setObjectName("lblPrompt");
  layout->addWidget(prompt);
  layout->addWidget(
      new QLabel(QStringLiteral("Would you like to replace the existing file"), this));
  layout->addWidget(FileRow(fileName, files.ExistingSize, files.ExistingDate, this));
  layout->addWidget(new QLabel(QStringLiteral("with this one?"), this));
  layout->addWidget(FileRow(fileName, files.NewSize, files.NewDate, this));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(AddAnswer("btnYes", QStringLiteral("&Yes"), TAnswer::Yes));
  auto* no = AddAnswer("btnNo", QStringLiteral("&No"), TAnswer::No);
  no->setDefault(true);
  buttons->addWidget(no);
  if (files.OfferAll) {
    buttons->addWidget(AddAnswer("btnYesToAll", QStringLiteral("Yes to &All"), TAnswer::YesToAll));
    buttons->addWidget(AddAnswer("btnNoToAll", QStringLiteral("No to A&ll"), TAnswer::NoToAll));
  }
  auto* recovery = AddAnswer("btnRecovery", QStringLiteral("&Recovery"), TAnswer::Recovery);
  recovery->setEnabled(files.ExistingSize < files.NewSize && canRecover);
  buttons->addWidget(recovery);
  layout->addLayout(buttons);
}

TfrmRestart::TfrmRestart(const QString& fileName, const TQuestionFiles& files, QWidget* parent)
    : TAnswerDialog(parent) {
  setObjectName("frmRestart");
  // The name is in the text, where a long one wraps; a title cut by the window manager hid it.
  setWindowTitle(QStringLiteral("Confirm Restart"));
  EscapeAnswer = TAnswer::No;
  auto* layout = new QVBoxLayout(this);
  auto* prompt = new QLabel(
      QStringLiteral("It appears as though a previous transfer was not successfully completed. "
                     "Although not all servers support this feature, would you like to try and "
                     "resume the transfer where it left off?"),
      this);
  prompt->setObjectName("lblPrompt");
  prompt->setWordWrap(true);
  layout->addWidget(prompt);
  auto* name = new QLabel(fileName, this);
  name->setObjectName("lblFileName");
  name->setTextFormat(Qt::PlainText);
  name->setWordWrap(true);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  layout->addWidget(name);
  layout->addWidget(new QLabel(QStringLiteral("Already here:"), this));
  layout->addWidget(FileRow(fileName, files.ExistingSize, files.ExistingDate, this));
  layout->addWidget(new QLabel(QStringLiteral("To be transferred:"), this));
  layout->addWidget(FileRow(fileName, files.NewSize, files.NewDate, this));
  DontShowAgain = new QCheckBox(QStringLiteral("Don't show this message again"), this);
  DontShowAgain->setObjectName("cbDontShow");
  layout->addWidget(DontShowAgain);
  auto* buttons = new QHBoxLayout;
  // Resuming keeps what is already here; No starts over and replaces it. Enter resumes.
  auto* yes = AddAnswer("btnYes", QStringLiteral("&Yes"), TAnswer::Yes);
  yes->setDefault(true);
  buttons->addWidget(yes);
  buttons->addWidget(AddAnswer("btnNo", QStringLiteral("&No"), TAnswer::No));
  if (files.OfferAll) {
    buttons->addWidget(AddAnswer("btnYesToAll", QStringLiteral("Yes to &All"), TAnswer::YesToAll));
    buttons->addWidget(AddAnswer("btnNoToAll", QStringLiteral("No to A&ll"), TAnswer::NoToAll));
  }
  layout->addLayout(buttons);
}

void TfrmRestart::done(int result) {
  // In memory only: the stored preference comes back at the next load.
  if (DontShowAgain->isChecked()) Preferences().ConfirmRestarts = false;
  TAnswerDialog::done(result);
}

TfrmConfirm::TfrmConfirm(int count, const QString& name, bool isFolder, QWidget* parent)
    : TAnswerDialog(parent) {
  setObjectName("frmConfirm");
  EscapeAnswer = TAnswer::No;
  QString prompt;
  if (count >= 2) {
    setWindowTitle(QStringLiteral("Confirm Multiple File Delete"));
    prompt = QString(QStringLiteral("Are you sure you want to delete these %1 items?")).arg(count);
  } else if (isFolder) {
    setWindowTitle(QStringLiteral("Confirm Folder Delete"));
    prompt = QString(QStringLiteral(
                         "Are you sure you want to remove the folder '%1' and all its contents?"))
                 .arg(name);
  } else {
    setWindowTitle(QStringLiteral("Confirm File Delete"));
    prompt = QString(QStringLiteral("Are you sure you want to delete '%1'?")).arg(name);
  }
  auto* layout = new QGridLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  layout->addWidget(icon, 0, 0);
  auto* text = new QLabel(prompt, this);
  text->setObjectName("lblPrompt");
  text->setTextFormat(Qt::PlainText);  // a name is shown as it is, never read as markup
  text->setWordWrap(true);
  layout->addWidget(text, 0, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(AddAnswer("btnYes", QStringLiteral("&Yes"), TAnswer::Yes));
  auto* no = AddAnswer("btnNo", QStringLiteral("&No"), TAnswer::No);
  no->setDefault(true);
  buttons->addWidget(no);
  layout->addLayout(buttons, 1, 0, 1, 2);
  setFixedSize(sizeHint());
}

bool ConfirmRemoteDelete(QWidget* parent, int count, const QString& name, bool isFolder) {
  TfrmConfirm dialog(count, name, isFolder, parent);
  const QString prompt = dialog.findChild<QLabel*>(QStringLiteral("lblPrompt"))->text();
  return Prompter().ConfirmWith(parent, dialog.windowTitle(), prompt, [&dialog] {
    dialog.exec();
    return dialog.Answer() == TAnswer::Yes;
  });
}

TAnswer TDialogQueueQuestions::AskOverwrite(const std::string& name, const TQuestionFiles& files,
                                            bool canRecover) {
  TfrmOverwrite dialog(QString::fromStdString(name), files, Parent, canRecover);
  dialog.exec();
  return dialog.Answer();
}

TAnswer TDialogQueueQuestions::AskRestart(const std::string& name, const TQuestionFiles& files) {
  TfrmRestart dialog(QString::fromStdString(name), files, Parent);
  dialog.exec();
  return dialog.Answer();
}

}  // namespace pelmar
