#include "settings/qt/OptionsDialog.h"

#include "ui/Accessibility.h"
#include "ui/DesktopPrograms.h"

#include "platform/SoundPlayer.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/FileChooser.h"
#include "ui/HelpService.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "ui/RadioGroup.h"

namespace pelmar {
namespace {

// The sound boxes, captions and values in the order of their tags 2..7.
struct TSoundRow {
  const char* Box;
  const char* Caption;
  std::string TPreferences::*Field;
};
constexpr TSoundRow kSounds[] = {
    {"editConnectSuccessSnd", "Connection success:", &TPreferences::ConnectSuccessSound},
    {"editConnectFailureSnd", "Connection failure:", &TPreferences::ConnectFailureSound},
    {"editDisconnectSnd", "Disconnection:", &TPreferences::DisconnectSound},
    {"editEndOfFileSnd", "End of transfer:", &TPreferences::EndOfFileSound},
    {"editEndOfTotalSnd", "End of all transfers:", &TPreferences::EndOfTotalSound},
    {"editErrorSnd", "Error in the transfer:", &TPreferences::ErrorSound},
};
const TSoundRow& Sound(int tag) {
  return kSounds[tag - 2];
}

// Which control shows which preference, for filling the dialog and reading it back.
constexpr struct {
  const char* Control;
  bool TPreferences::*Field;
} kChecks[] = {
    {"cbLogToFile", &TPreferences::LogToFile},
    {"cbShowTooltips", &TPreferences::ShowToolTips},
    {"cbNoXferOlder", &TPreferences::NoXferOlder},
    {"cbASCIIOnView", &TPreferences::ASCIIOnView},
    {"cbPreserveTimeStamp", &TPreferences::PreserveTimeStamp},
    {"cbVerifyTransfers", &TPreferences::VerifyTransfers},
    {"cbConfirmRestarts", &TPreferences::ConfirmRestarts},
    {"cbForceToLowerCase", &TPreferences::ConfirmLowerCase},
    {"cbConfirmOverwrites", &TPreferences::ConfirmOverwrites},
    {"cbShowManager", &TPreferences::ShowManager},
    {"cbPromptForPass", &TPreferences::PromptForPass},
    {"cbPing", &TPreferences::Ping},
    {"cbPassiveMode", &TPreferences::PassiveMode},
    {"cbEnableFirewall", &TPreferences::FirewallEnabled},
    {"cbEnableSound", &TPreferences::SoundsEnabled},
};

constexpr struct {
  const char* Control;
  std::string TPreferences::*Field;
} kEdits[] = {
    {"editEMail", &TPreferences::EMail},
    {"editDefaultLocalFolder", &TPreferences::DefaultDir},
    {"editTries", &TPreferences::Retries},
    {"editTimeOut", &TPreferences::Timeout},
    {"editFirewallHost", &TPreferences::FirewallHost},
    {"editFirewallPort", &TPreferences::FirewallPort},
    {"editFirewallUser", &TPreferences::FirewallUser},
    {"editFirewallPassword", &TPreferences::FirewallPassword},
};

constexpr struct {
  const char* Control;
  int TPreferences::*Field;
} kRadios[] = {
    {"rgTryToResume", &TPreferences::TryToResume},
    {"rgLocalDblClk", &TPreferences::LocalDblClk},
    {"rgHostDblClk", &TPreferences::HostDblClk},
    {"rgTransferMode", &TPreferences::TransferMode},
    {"rgFirewallType", &TPreferences::FirewallType},
};

}  // namespace

TfrmOptions::TfrmOptions(QWidget* parent) : QDialog(parent) {
  setObjectName("frmOptions");
  setWindowTitle(QStringLiteral("General preferences"));
  auto* layout = new QVBoxLayout(this);
  Pages = new QTabWidget(this);
  Pages->setObjectName("pgctrlOptions");
  Pages->addTab(BuildGeneralPage(), QStringLiteral("General"));
  Pages->addTab(BuildAdvancedPage(), QStringLiteral("Advanced"));
  Pages->addTab(BuildConnectionPage(), QStringLiteral("Connection"));
  Pages->addTab(BuildFirewallPage(), QStringLiteral("Firewall"));
  Pages->addTab(BuildSoundsPage(), QStringLiteral("Sounds"));
  Pages->addTab(BuildFileTypesPage(), QStringLiteral("File Types"));
  // Every page's tab in view: the dialog is as wide as the tab row needs.
  Pages->tabBar()->setUsesScrollButtons(false);
  layout->addWidget(Pages);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  auto* buttons = new QDialogButtonBox(this);
  auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName("btnOK");
  ok->setDefault(true);
  auto* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  cancel->setObjectName("btnCancel");
  auto* help = buttons->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
  help->setObjectName("btnHelp");
  connect(ok, &QPushButton::clicked, this, [this] {
    if (Commit()) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { ShowHelpTopic(kHelpTopic); });
  layout->addWidget(buttons);
  NameControlsFromLabels(this);
}

QCheckBox* TfrmOptions::AddCheck(QWidget* page, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption, page);
  box->setObjectName(name);
  return box;
}

QLineEdit* TfrmOptions::AddEdit(const char* name, int maxLength) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  edit->setMaxLength(maxLength);
  return edit;
}

QPushButton* TfrmOptions::AddBrowse(const char* name) {
  auto* button = new QPushButton(QStringLiteral("..."), this);
  button->setObjectName(name);
  button->setToolTip(QStringLiteral("Browse..."));
  return button;
}

static QWidget* Row(QWidget* edit, QWidget* button) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(edit);
  layout->addWidget(button);
  return row;
}

QWidget* TfrmOptions::BuildGeneralPage() {
  auto* page = new QWidget;
  page->setObjectName("tsGeneral");
  auto* form = new QFormLayout(page);
  form->addRow(QStringLiteral("EMail Address:"), AddEdit("editEMail", 256));
  auto* viewer = AddEdit("editViewer");
  viewer->setReadOnly(true);
  auto* browseViewer = AddBrowse("btnBrowseViewer");
  form->addRow(QStringLiteral("Text Viewer:"), Row(viewer, browseViewer));
  // A command line: an editor may need options of its own ("code --wait").
  auto* editor = AddEdit("editEditor");
  editor->setToolTip(
      QStringLiteral("The program server files are edited with; the files are added to its "
                     "command line"));
  auto* browseEditor = AddBrowse("btnBrowseEditor");
  form->addRow(QStringLiteral("Text Editor:"), Row(editor, browseEditor));
  auto* logFile = AddEdit("editLogFile");
  auto* browseLog = AddBrowse("btnBrowseLogFile");
  form->addRow(QStringLiteral("Log Filename:"), Row(logFile, browseLog));
  form->addRow(
      AddCheck(page, "cbLogToFile", QStringLiteral("Description of all actions in a log file")));
  form->addRow(AddCheck(page, "cbShowTooltips", QStringLiteral("Show Tool Tips")));
  auto* folder = AddEdit("editDefaultLocalFolder");
  auto* browseFolder = AddBrowse("btnBrowseDefaultDir");
  form->addRow(QStringLiteral("Default Directory:"), Row(folder, browseFolder));

  connect(logFile, &QLineEdit::textEdited, this,
          [this](const QString& text) { Edited.SetLogFileFromBox(S(text)); });
  connect(browseViewer, &QPushButton::clicked, this, [this, viewer] {
    // Programs on Linux have no extension to filter by.
    const QString chosen =
        FileChooser().OpenFile(this, QStringLiteral("Select Text Viewer"),
                               QStringLiteral("All Files (*)"), Q(Edited.Viewer));
    if (chosen.isEmpty()) return;
    Edited.Viewer = S(chosen);
    viewer->setText(Q(FileNamePart(Edited.Viewer)));
  });
  connect(browseEditor, &QPushButton::clicked, this, [this, editor] {
    const QString chosen = FileChooser().OpenFile(this, QStringLiteral("Select Text Editor"),
                                                  QStringLiteral("All Files (*)"), QString());
    if (!chosen.isEmpty()) editor->setText(JoinCommand({chosen}));
  });
  connect(browseLog, &QPushButton::clicked, this, [this, logFile] {
    const QString chosen = FileChooser().SaveFile(
        this, QStringLiteral("Select Log File"), QStringLiteral("Log Files (*.log);;All Files (*)"),
        QStringLiteral("log"), Q(Edited.LogFile));
    if (chosen.isEmpty()) return;
    Edited.LogFile = S(chosen);
    logFile->setText(Q(FileNamePart(Edited.LogFile)));
  });
  connect(browseFolder, &QPushButton::clicked, this, [this, folder] {
    const QString chosen =
        FileChooser().Folder(this, QStringLiteral("Default Directory:"), folder->text());
    if (!chosen.isEmpty()) folder->setText(chosen);
  });
  return page;
}

QWidget* TfrmOptions::BuildAdvancedPage() {
  auto* page = new QWidget;
  page->setObjectName("tsAdvanced");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(
      AddCheck(page, "cbNoXferOlder", QStringLiteral("Don't transfer older or same-aged files")));
  layout->addWidget(AddCheck(page, "cbASCIIOnView", QStringLiteral("Transfer ASCII on view")));
  layout->addWidget(AddCheck(page, "cbPreserveTimeStamp",
                             QStringLiteral("Preserve date and time on downloaded files")));
  layout->addWidget(AddCheck(page, "cbVerifyTransfers",
                             QStringLiteral("Verify transfers by checksum where the server can")));
  layout->addWidget(AddCheck(page, "cbConfirmRestarts", QStringLiteral("Confirm recoveries")));
  layout->addWidget(AddCheck(page, "cbForceToLowerCase",
                             QStringLiteral("Force uploaded filenames to lowercase")));
  layout->addWidget(
      AddCheck(page, "cbConfirmOverwrites", QStringLiteral("Confirm file overwrites")));
  layout->addWidget(new TRadioGroup(
      QStringLiteral("rgTryToResume"), QStringLiteral(" Type of recoveries for failed transfers "),
      {QStringLiteral("None"), QStringLiteral("Binary files"), QStringLiteral("All files")}, page));
  layout->addWidget(new TRadioGroup(QStringLiteral("rgLocalDblClk"),
                                    QStringLiteral(" Double click action (local) "),
                                    {QStringLiteral("&Properties"), QStringLiteral("&View"),
                                     QStringLiteral("&Upload"), QStringLiteral("&Open")},
                                    page));
  layout->addWidget(new TRadioGroup(QStringLiteral("rgHostDblClk"),
                                    QStringLiteral(" Double click action (host) "),
                                    {QStringLiteral("P&roperties"), QStringLiteral("V&iew"),
                                     QStringLiteral("&Download"), QStringLiteral("O&pen")},
                                    page));
  layout->addStretch(1);  // the controls stay together at the top
  return page;
}

QWidget* TfrmOptions::BuildConnectionPage() {
  auto* page = new QWidget;
  page->setObjectName("tsConnection");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(
      AddCheck(page, "cbShowManager", QStringLiteral("View the session manager on startup")));
  layout->addWidget(
      AddCheck(page, "cbPromptForPass", QStringLiteral("Ask for password if none is specified")));
  layout->addWidget(AddCheck(page, "cbPing", QStringLiteral("Stay connected with the server")));
  layout->addWidget(AddCheck(page, "cbPassiveMode",
                             QStringLiteral("Use passive mode (the server opens the data port)")));
  auto* retry = new QGroupBox(QStringLiteral("Try to reconnect"), page);
  retry->setObjectName("gbReconnect");
  auto* retryLayout = new QHBoxLayout(retry);
  auto* tries = new QRadioButton(retry);
  tries->setObjectName("rbTries");
  retryLayout->addWidget(tries);
  retryLayout->addWidget(AddEdit("editTries", 6));
  retryLayout->addWidget(new QLabel(QStringLiteral("times"), retry));
  auto* infinite = new QRadioButton(QStringLiteral("until connected"), retry);
  infinite->setObjectName("rbInfiniteRetry");
  retryLayout->addWidget(infinite);
  layout->addWidget(retry);
  auto* timeoutRow = new QWidget(page);
  auto* timeoutLayout = new QHBoxLayout(timeoutRow);
  timeoutLayout->setContentsMargins(0, 0, 0, 0);  // in line with the boxes above
  timeoutLayout->addWidget(new QLabel(QStringLiteral("Timeout after"), timeoutRow));
  QLineEdit* timeout = AddEdit("editTimeOut", 6);
  timeout->setAccessibleName(QStringLiteral("Timeout in seconds"));
  timeoutLayout->addWidget(timeout);
  timeoutLayout->addWidget(new QLabel(QStringLiteral("seconds"), timeoutRow));
  timeoutLayout->addStretch(1);
  layout->addWidget(timeoutRow);
  auto* parallelRow = new QWidget(page);
  auto* parallelLayout = new QHBoxLayout(parallelRow);
  parallelLayout->setContentsMargins(0, 0, 0, 0);
  auto* parallelLabel = new QLabel(QStringLiteral("Simultaneous &transfers"), parallelRow);
  auto* parallel = new QSpinBox(parallelRow);
  parallel->setObjectName("spinSimultaneous");
  parallel->setRange(1, kMaxSimultaneousTransfers);
  parallel->setAccessibleName(QStringLiteral("Simultaneous transfers"));
  parallelLabel->setBuddy(parallel);
  parallelLayout->addWidget(parallelLabel);
  parallelLayout->addWidget(parallel);
  parallelLayout->addStretch(1);
  layout->addWidget(parallelRow);
  layout->addWidget(
      new TRadioGroup(QStringLiteral("rgTransferMode"), QStringLiteral("Default transfer mode"),
                      {QStringLiteral("A&uto"), QStringLiteral("ASC&II"), QStringLiteral("&Binary"),
                       QStringLiteral("&EBCDIC"), QStringLiteral("&Local")},
                      page));
  layout->addStretch(1);  // the controls stay together at the top
  return page;
}

QWidget* TfrmOptions::BuildFirewallPage() {
  auto* page = new QWidget;
  page->setObjectName("tsFirewall");
  auto* layout = new QVBoxLayout(page);
  auto* enable = AddCheck(page, "cbEnableFirewall", QStringLiteral("Activate Firewalls"));
  layout->addWidget(enable);
  FirewallPanel = new QWidget(page);
  FirewallPanel->setObjectName("pnlFirewall");
  auto* panel = new QVBoxLayout(FirewallPanel);
  panel->addWidget(
      new TRadioGroup(QStringLiteral("rgFirewallType"), QStringLiteral(" Type "),
                      {QStringLiteral("&Site"), QStringLiteral("&Proxy"),
                       QStringLiteral("User with &login"), QStringLiteral("User without l&ogin")},
                      FirewallPanel));
  auto* server = new QGroupBox(QStringLiteral(" Server "), FirewallPanel);
  auto* serverForm = new QFormLayout(server);
  serverForm->addRow(QStringLiteral("Host:"), AddEdit("editFirewallHost"));
  serverForm->addRow(QStringLiteral("Port:"), AddEdit("editFirewallPort"));
  panel->addWidget(server);
  auto* user = new QGroupBox(QStringLiteral(" User "), FirewallPanel);
  auto* userForm = new QFormLayout(user);
  userForm->addRow(QStringLiteral("User ID:"), AddEdit("editFirewallUser"));
  auto* password = AddEdit("editFirewallPassword");
  password->setEchoMode(QLineEdit::Password);
  userForm->addRow(QStringLiteral("Password:"), password);
  panel->addWidget(user);
  layout->addWidget(FirewallPanel);
  connect(enable, &QCheckBox::toggled, this, [this] { UpdatePanels(); });
  layout->addStretch(1);  // the controls stay together at the top
  return page;
}

QWidget* TfrmOptions::BuildSoundsPage() {
  auto* page = new QWidget;
  page->setObjectName("tsSounds");
  auto* layout = new QVBoxLayout(page);
  auto* enable = AddCheck(page, "cbEnableSound", QStringLiteral("Activate sounds"));
  layout->addWidget(enable);
  SoundsPanel = new QWidget(page);
  SoundsPanel->setObjectName("pnlSounds");
  auto* form = new QFormLayout(SoundsPanel);
  for (int tag = 2; tag <= 7; ++tag) {
    auto* edit = AddEdit(Sound(tag).Box);
    edit->setProperty("tag", tag);
    auto* browse = AddBrowse(("btnSound" + std::to_string(tag)).c_str());
    browse->setProperty("tag", tag);
    connect(browse, &QPushButton::clicked, this, [this, tag] { BrowseSound(tag); });
    // Lets a person hear a choice before keeping it.
    auto* play = new QPushButton(QStringLiteral("Play"), SoundsPanel);
    play->setObjectName(("btnPlaySound" + std::to_string(tag)).c_str());
    connect(play, &QPushButton::clicked, this,
            [edit] { PlaySound(edit->text().trimmed().toStdString()); });
    auto* row = Row(edit, browse);
    row->layout()->addWidget(play);
    form->addRow(QString::fromUtf8(Sound(tag).Caption), row);
  }
  layout->addWidget(SoundsPanel);
  connect(enable, &QCheckBox::toggled, this, [this] { UpdatePanels(); });
  layout->addStretch(1);  // the controls stay together at the top
  return page;
}

QWidget* TfrmOptions::BuildFileTypesPage() {
  auto* page = new QWidget;
  page->setObjectName("tsFileTypes");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(
      new QLabel(QStringLiteral("Always use ASCII transfer mode for these extensions:"), page));
  auto* list = new QListWidget(page);
  list->setObjectName("lbASCIIExtensions");
  list->setAccessibleName(QStringLiteral("ASCII transfer mode extensions"));
  layout->addWidget(list);
  auto* row = new QHBoxLayout;
  auto* extension = AddEdit("editExtension", 256);
  extension->setAccessibleName(QStringLiteral("Extension to add"));
  auto* add = new QPushButton(QStringLiteral("&Add"), page);
  add->setObjectName("btnAdd");
  auto* remove = new QPushButton(QStringLiteral("&Remove"), page);
  remove->setObjectName("btnRemove");
  row->addWidget(extension);
  row->addWidget(add);
  row->addWidget(remove);
  layout->addLayout(row);
  connect(extension, &QLineEdit::textEdited, this, [extension](const QString& text) {
    const QString lower = text.toLower();
    if (lower != text) {
      const int cursor = extension->cursorPosition();
      extension->setText(lower);
      extension->setCursorPosition(cursor);
    }
  });
  connect(extension, &QLineEdit::textChanged, this, [this] { UpdateFileTypeButtons(); });
  connect(list, &QListWidget::itemSelectionChanged, this, [this] { UpdateFileTypeButtons(); });
  connect(add, &QPushButton::clicked, this, [this, extension, list] {
    if (Edited.AddAsciiExtension(S(extension->text()))) {
      list->clear();
      for (const auto& entry : Edited.AsciiExtensions) list->addItem(Q(entry));
    }
    extension->clear();
    UpdateFileTypeButtons();
  });
  connect(remove, &QPushButton::clicked, this, [this, list] {
    const int selected = list->currentRow();
    if (selected < 0 || list->selectedItems().isEmpty()) return;
    Edited.AsciiExtensions.erase(Edited.AsciiExtensions.begin() + selected);
    delete list->takeItem(selected);
    UpdateFileTypeButtons();
  });
  return page;
}

void TfrmOptions::BrowseSound(int tag) {
  std::string* field = &(Edited.*Sound(tag).Field);
  auto* edit = findChild<QLineEdit*>(QLatin1String(Sound(tag).Box));
  const QString chosen =
      FileChooser().OpenFile(this, QStringLiteral("Select Sound"),
                             QStringLiteral("Sound Files (*.wav);;All Files (*)"), edit->text());
  if (chosen.isEmpty()) return;
  *field = S(chosen);
  edit->setText(chosen);
}

void TfrmOptions::UpdatePanels() {
  FirewallPanel->setEnabled(findChild<QCheckBox*>(QStringLiteral("cbEnableFirewall"))->isChecked());
  SoundsPanel->setEnabled(findChild<QCheckBox*>(QStringLiteral("cbEnableSound"))->isChecked());
}

void TfrmOptions::UpdateFileTypeButtons() {
  auto* list = findChild<QListWidget*>(QStringLiteral("lbASCIIExtensions"));
  findChild<QPushButton*>(QStringLiteral("btnAdd"))
      ->setEnabled(!findChild<QLineEdit*>(QStringLiteral("editExtension"))->text().isEmpty());
  findChild<QPushButton*>(QStringLiteral("btnRemove"))
      ->setEnabled(list->count() > 0 && !list->selectedItems().isEmpty());
}

void TfrmOptions::showEvent(QShowEvent* event) {
  PrepareToShow();
  QDialog::showEvent(event);
}

void TfrmOptions::PrepareToShow() {
  const std::string error = Preferences().Load(PreferencesPath());
  if (!error.empty()) Prompter().Error(this, windowTitle(), Q(error));
  Edited = Preferences();
  FillControls();
  Pages->setCurrentIndex(0);
}

void TfrmOptions::FillControls() {
  const TPreferences& p = Edited;
  for (const auto& c : kChecks)
    findChild<QCheckBox*>(QLatin1String(c.Control))->setChecked(p.*c.Field);
  for (const auto& e : kEdits)
    findChild<QLineEdit*>(QLatin1String(e.Control))->setText(Q(p.*e.Field));
  for (const auto& r : kRadios)
    findChild<TRadioGroup*>(QLatin1String(r.Control))->SetItemIndex(p.*r.Field);
  for (const auto& sound : kSounds)
    findChild<QLineEdit*>(QLatin1String(sound.Box))->setText(Q(p.*sound.Field));
  // The boxes show the file name; the full paths stay in Edited.
  findChild<QLineEdit*>(QStringLiteral("editViewer"))->setText(Q(FileNamePart(p.Viewer)));
  findChild<QLineEdit*>(QStringLiteral("editLogFile"))->setText(Q(FileNamePart(p.LogFile)));
  // No editor of one's own: the desktop's is shown, the one that is used.
  findChild<QLineEdit*>(QStringLiteral("editEditor"))
      ->setText(p.Editor.empty() ? DesktopTextEditor() : Q(p.Editor));
  findChild<QRadioButton*>(p.InfiniteRetry ? QStringLiteral("rbInfiniteRetry")
                                           : QStringLiteral("rbTries"))
      ->setChecked(true);
  auto* list = findChild<QListWidget*>(QStringLiteral("lbASCIIExtensions"));
  list->clear();
  for (const auto& entry : p.AsciiExtensions) list->addItem(Q(entry));
  findChild<QLineEdit*>(QStringLiteral("editExtension"))->clear();
  findChild<QSpinBox*>(QStringLiteral("spinSimultaneous"))->setValue(p.SimultaneousTransfers);
  UpdatePanels();
  UpdateFileTypeButtons();
}

void TfrmOptions::ReadControls(TPreferences& p) const {
  p = Edited;  // full paths and the extension list
  for (const auto& c : kChecks)
    p.*c.Field = findChild<QCheckBox*>(QLatin1String(c.Control))->isChecked();
  for (const auto& e : kEdits)
    p.*e.Field = S(findChild<QLineEdit*>(QLatin1String(e.Control))->text());
  for (const auto& r : kRadios) {
    p.*r.Field = std::max(findChild<TRadioGroup*>(QLatin1String(r.Control))->ItemIndex(), 0);
  }
  for (const auto& sound : kSounds)
    p.*sound.Field = S(findChild<QLineEdit*>(QLatin1String(sound.Box))->text());
  // The desktop's editor, left as shown, stays the desktop's: it follows the desktop's choice.
  const QString editor = findChild<QLineEdit*>(QStringLiteral("editEditor"))->text().trimmed();
  p.Editor = editor == DesktopTextEditor() ? std::string() : S(editor);
  p.InfiniteRetry = findChild<QRadioButton*>(QStringLiteral("rbInfiniteRetry"))->isChecked();
  p.SimultaneousTransfers = findChild<QSpinBox*>(QStringLiteral("spinSimultaneous"))->value();
}

bool TfrmOptions::Commit() {
  TPreferences result;
  ReadControls(result);
  const std::string error = result.Save(PreferencesPath());
  if (!error.empty()) {
    Prompter().Error(this, windowTitle(), Q(error));
    return false;
  }
  Preferences() = result;
  return true;
}

}  // namespace pelmar
