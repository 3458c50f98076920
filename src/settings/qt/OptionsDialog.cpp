#include "settings/qt/OptionsDialog.h"

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
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/FileChooser.h"
#include "ui/HelpService.h"
#include "ui/Prompter.h"
#include "ui/QtText.h"
#include "ui/RadioGroup.h"

namespace pelmar {
namespace {

// The sound boxes in the order of their tags 2..7.
constexpr const char* kSoundBoxes[] = {"editConnectSuccessSnd", "editConnectFailureSnd",
                                       "editDisconnectSnd",     "editEndOfFileSnd",
                                       "editEndOfTotalSnd",     "editErrorSnd"};
constexpr const char* kSoundCaptions[] = {
    "Connection success:", "Connection failure:",   "Disconnection:",
    "End of transfer:",    "End of all transfers:", "Error in the transfer:"};

std::string* SoundField(TPreferences& p, int tag) {
  switch (tag) {
    case 2:
      return &p.ConnectSuccessSound;
    case 3:
      return &p.ConnectFailureSound;
    case 4:
      return &p.DisconnectSound;
    case 5:
      return &p.EndOfFileSound;
    case 6:
      return &p.EndOfTotalSound;
    default:
      return &p.ErrorSound;
  }
}

}  // namespace

TfrmOptions::TfrmOptions(QWidget* parent) : QDialog(parent) {
  setObjectName("frmOptions");
  setWindowTitle("General preferences");
  auto* layout = new QVBoxLayout(this);
  Pages = new QTabWidget(this);
  Pages->setObjectName("pgctrlOptions");
  Pages->addTab(BuildGeneralPage(), "General");
  Pages->addTab(BuildAdvancedPage(), "Advanced");
  Pages->addTab(BuildConnectionPage(), "Connection");
  Pages->addTab(BuildFirewallPage(), "Firewall");
  Pages->addTab(BuildSoundsPage(), "Sounds");
  Pages->addTab(BuildFileTypesPage(), "File Types");
  layout->addWidget(Pages);

  auto* buttons = new QDialogButtonBox(this);
  auto* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  ok->setObjectName("btnOK");
  ok->setDefault(true);
  auto* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  cancel->setObjectName("btnCancel");
  auto* help = buttons->addButton("&Help", QDialogButtonBox::HelpRole);
  help->setObjectName("btnHelp");
  connect(ok, &QPushButton::clicked, this, [this] {
    if (Commit()) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { ShowHelpTopic(kHelpTopic); });
  layout->addWidget(buttons);
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
  auto* button = new QPushButton("...", this);
  button->setObjectName(name);
  button->setToolTip("Browse...");
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
  form->addRow("EMail Address:", AddEdit("editEMail", 256));
  auto* viewer = AddEdit("editViewer");
  viewer->setReadOnly(true);
  auto* browseViewer = AddBrowse("btnBrowseViewer");
  form->addRow("Text Viewer:", Row(viewer, browseViewer));
  auto* logFile = AddEdit("editLogFile");
  auto* browseLog = AddBrowse("btnBrowseLogFile");
  form->addRow("Log Filename:", Row(logFile, browseLog));
  form->addRow(AddCheck(page, "cbLogToFile", "Description of all actions in a log file"));
  form->addRow(AddCheck(page, "cbShowTooltips", "Show Tool Tips"));
  auto* folder = AddEdit("editDefaultLocalFolder");
  auto* browseFolder = AddBrowse("btnBrowseDefaultDir");
  form->addRow("Default Directory:", Row(folder, browseFolder));

  connect(logFile, &QLineEdit::textEdited, this,
          [this](const QString& text) { Edited.SetLogFileFromBox(S(text)); });
  connect(browseViewer, &QPushButton::clicked, this, [this, viewer] {
    // Programs on Linux have no extension to filter by.
    const QString chosen =
        FileChooser().OpenFile(this, "Select Text Viewer", "All Files (*)", Q(Edited.Viewer));
    if (chosen.isEmpty()) return;
    Edited.Viewer = S(chosen);
    viewer->setText(Q(FileNamePart(Edited.Viewer)));
  });
  connect(browseLog, &QPushButton::clicked, this, [this, logFile] {
    const QString chosen = FileChooser().SaveFile(
        this, "Select Log File", "Log Files (*.log);;All Files (*)", "log", Q(Edited.LogFile));
    if (chosen.isEmpty()) return;
    Edited.LogFile = S(chosen);
    logFile->setText(Q(FileNamePart(Edited.LogFile)));
  });
  connect(browseFolder, &QPushButton::clicked, this, [this, folder] {
    const QString chosen = FileChooser().Folder(this, "Default Directory:", folder->text());
    if (!chosen.isEmpty()) folder->setText(chosen);
  });
  return page;
}

QWidget* TfrmOptions::BuildAdvancedPage() {
  auto* page = new QWidget;
  page->setObjectName("tsAdvanced");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(AddCheck(page, "cbNoXferOlder", "Don't tranfer older or same-aged files"));
  layout->addWidget(AddCheck(page, "cbASCIIOnView", "Transfer ASCII on view"));
  layout->addWidget(
      AddCheck(page, "cbPreserveTimeStamp", "Preserve date and time on downloaded files"));
  layout->addWidget(AddCheck(page, "cbConfirmRestarts", "Confirm recoveries"));
  layout->addWidget(AddCheck(page, "cbForceToLowerCase", "Force uploaded filenames to lowercase"));
  layout->addWidget(AddCheck(page, "cbConfirmOverwrites", "Confirm file overwrites"));
  layout->addWidget(new TRadioGroup("rgTryToResume", " Type of recoveries for failed tranfers ",
                                    {"None", "Binary files", "All files"}, page));
  layout->addWidget(new TRadioGroup("rgLocalDblClk", " Double click action (local) ",
                                    {"&Properties", "&View", "&Upload", "&Open"}, page));
  layout->addWidget(new TRadioGroup("rgHostDblClk", " Double click action (host) ",
                                    {"P&roperties", "V&iew", "&Download", "O&pen"}, page));
  return page;
}

QWidget* TfrmOptions::BuildConnectionPage() {
  auto* page = new QWidget;
  page->setObjectName("tsConnection");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(AddCheck(page, "cbShowManager", "View the session manager on startup"));
  layout->addWidget(AddCheck(page, "cbPromptForPass", "Ask for password if none is specified"));
  layout->addWidget(AddCheck(page, "cbPing", "Stay connected with the server"));
  auto* retry = new QGroupBox("Try to reconnect", page);
  retry->setObjectName("gbReconnect");
  auto* retryLayout = new QHBoxLayout(retry);
  auto* tries = new QRadioButton(retry);
  tries->setObjectName("rbTries");
  retryLayout->addWidget(tries);
  retryLayout->addWidget(AddEdit("editTries", 6));
  retryLayout->addWidget(new QLabel("times", retry));
  auto* infinite = new QRadioButton("until connected", retry);
  infinite->setObjectName("rbInfiniteRetry");
  retryLayout->addWidget(infinite);
  layout->addWidget(retry);
  auto* timeoutRow = new QWidget(page);
  auto* timeoutLayout = new QHBoxLayout(timeoutRow);
  timeoutLayout->addWidget(new QLabel("Timeout after", timeoutRow));
  timeoutLayout->addWidget(AddEdit("editTimeOut", 6));
  timeoutLayout->addWidget(new QLabel("seconds", timeoutRow));
  layout->addWidget(timeoutRow);
  layout->addWidget(new TRadioGroup("rgTransferMode", "Default transfer mode",
                                    {"A&uto", "ASC&II", "&Binary", "&EBCDIC", "&Local"}, page));
  return page;
}

QWidget* TfrmOptions::BuildFirewallPage() {
  auto* page = new QWidget;
  page->setObjectName("tsFirewall");
  auto* layout = new QVBoxLayout(page);
  auto* enable = AddCheck(page, "cbEnableFirewall", "Activate Firewalls");
  layout->addWidget(enable);
  FirewallPanel = new QWidget(page);
  FirewallPanel->setObjectName("pnlFirewall");
  auto* panel = new QVBoxLayout(FirewallPanel);
  panel->addWidget(new TRadioGroup("rgFirewallType", " Type ",
                                   {"&Site", "&Proxy", "User with &login", "User without l&ogin"},
                                   FirewallPanel));
  auto* server = new QGroupBox(" Server ", FirewallPanel);
  auto* serverForm = new QFormLayout(server);
  serverForm->addRow("Host:", AddEdit("editFirewallHost"));
  serverForm->addRow("Port:", AddEdit("editFirewallPort"));
  panel->addWidget(server);
  auto* user = new QGroupBox(" User ", FirewallPanel);
  auto* userForm = new QFormLayout(user);
  userForm->addRow("User ID:", AddEdit("editFirewallUser"));
  auto* password = AddEdit("editFirewallPassword");
  password->setEchoMode(QLineEdit::Password);
  userForm->addRow("Password:", password);
  panel->addWidget(user);
  layout->addWidget(FirewallPanel);
  connect(enable, &QCheckBox::toggled, this, [this] { UpdatePanels(); });
  return page;
}

QWidget* TfrmOptions::BuildSoundsPage() {
  auto* page = new QWidget;
  page->setObjectName("tsSounds");
  auto* layout = new QVBoxLayout(page);
  auto* enable = AddCheck(page, "cbEnableSound", "Activate sounds");
  layout->addWidget(enable);
  SoundsPanel = new QWidget(page);
  SoundsPanel->setObjectName("pnlSounds");
  auto* form = new QFormLayout(SoundsPanel);
  for (int tag = 2; tag <= 7; ++tag) {
    auto* edit = AddEdit(kSoundBoxes[tag - 2]);
    edit->setProperty("tag", tag);
    auto* browse = AddBrowse(("btnSound" + std::to_string(tag)).c_str());
    browse->setProperty("tag", tag);
    connect(browse, &QPushButton::clicked, this, [this, tag] { BrowseSound(tag); });
    form->addRow(kSoundCaptions[tag - 2], Row(edit, browse));
  }
  layout->addWidget(SoundsPanel);
  connect(enable, &QCheckBox::toggled, this, [this] { UpdatePanels(); });
  return page;
}

QWidget* TfrmOptions::BuildFileTypesPage() {
  auto* page = new QWidget;
  page->setObjectName("tsFileTypes");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(new QLabel("Always use ASCII transfer mode for these extensions:", page));
  auto* list = new QListWidget(page);
  list->setObjectName("lbASCIIExtensions");
  layout->addWidget(list);
  auto* row = new QHBoxLayout;
  auto* extension = AddEdit("editExtension", 256);
  auto* add = new QPushButton("&Add", page);
  add->setObjectName("btnAdd");
  auto* remove = new QPushButton("&Remove", page);
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
  std::string* field = SoundField(Edited, tag);
  auto* edit = findChild<QLineEdit*>(kSoundBoxes[tag - 2]);
  const QString chosen = FileChooser().OpenFile(this, "Select Sound",
                                                "Sound Files (*.wav);;All Files (*)", edit->text());
  if (chosen.isEmpty()) return;
  *field = S(chosen);
  edit->setText(chosen);
}

void TfrmOptions::UpdatePanels() {
  FirewallPanel->setEnabled(findChild<QCheckBox*>("cbEnableFirewall")->isChecked());
  SoundsPanel->setEnabled(findChild<QCheckBox*>("cbEnableSound")->isChecked());
}

void TfrmOptions::UpdateFileTypeButtons() {
  auto* list = findChild<QListWidget*>("lbASCIIExtensions");
  findChild<QPushButton*>("btnAdd")->setEnabled(
      !findChild<QLineEdit*>("editExtension")->text().isEmpty());
  findChild<QPushButton*>("btnRemove")
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
  auto edit = [this](const char* name, const std::string& text) {
    findChild<QLineEdit*>(name)->setText(Q(text));
  };
  auto check = [this](const char* name, bool value) {
    findChild<QCheckBox*>(name)->setChecked(value);
  };
  auto radio = [this](const char* name, int index) {
    findChild<TRadioGroup*>(name)->SetItemIndex(index);
  };
  edit("editEMail", p.EMail);
  edit("editViewer", FileNamePart(p.Viewer));
  edit("editLogFile", FileNamePart(p.LogFile));
  check("cbLogToFile", p.LogToFile);
  check("cbShowTooltips", p.ShowToolTips);
  edit("editDefaultLocalFolder", p.DefaultDir);
  check("cbNoXferOlder", p.NoXferOlder);
  check("cbASCIIOnView", p.ASCIIOnView);
  check("cbPreserveTimeStamp", p.PreserveTimeStamp);
  check("cbConfirmRestarts", p.ConfirmRestarts);
  check("cbForceToLowerCase", p.ConfirmLowerCase);
  check("cbConfirmOverwrites", p.ConfirmOverwrites);
  radio("rgTryToResume", p.TryToResume);
  radio("rgLocalDblClk", p.LocalDblClk);
  radio("rgHostDblClk", p.HostDblClk);
  check("cbShowManager", p.ShowManager);
  check("cbPromptForPass", p.PromptForPass);
  check("cbPing", p.Ping);
  edit("editTries", p.Retries);
  findChild<QRadioButton*>(p.InfiniteRetry ? "rbInfiniteRetry" : "rbTries")->setChecked(true);
  edit("editTimeOut", p.Timeout);
  radio("rgTransferMode", p.TransferMode);
  check("cbEnableFirewall", p.FirewallEnabled);
  radio("rgFirewallType", p.FirewallType);
  edit("editFirewallHost", p.FirewallHost);
  edit("editFirewallPort", p.FirewallPort);
  edit("editFirewallUser", p.FirewallUser);
  edit("editFirewallPassword", p.FirewallPassword);
  check("cbEnableSound", p.SoundsEnabled);
  for (int tag = 2; tag <= 7; ++tag) edit(kSoundBoxes[tag - 2], *SoundField(Edited, tag));
  auto* list = findChild<QListWidget*>("lbASCIIExtensions");
  list->clear();
  for (const auto& entry : p.AsciiExtensions) list->addItem(Q(entry));
  findChild<QLineEdit*>("editExtension")->clear();
  UpdatePanels();
  UpdateFileTypeButtons();
}

void TfrmOptions::ReadControls(TPreferences& p) const {
  auto edit = [this](const char* name) { return S(findChild<QLineEdit*>(name)->text()); };
  auto check = [this](const char* name) { return findChild<QCheckBox*>(name)->isChecked(); };
  auto radio = [this](const char* name) {
    return std::max(findChild<TRadioGroup*>(name)->ItemIndex(), 0);
  };
  p = Edited;  // full paths and the extension list
  p.EMail = edit("editEMail");
  p.LogToFile = check("cbLogToFile");
  p.ShowToolTips = check("cbShowTooltips");
  p.DefaultDir = edit("editDefaultLocalFolder");
  p.NoXferOlder = check("cbNoXferOlder");
  p.ASCIIOnView = check("cbASCIIOnView");
  p.PreserveTimeStamp = check("cbPreserveTimeStamp");
  p.ConfirmRestarts = check("cbConfirmRestarts");
  p.ConfirmLowerCase = check("cbForceToLowerCase");
  p.ConfirmOverwrites = check("cbConfirmOverwrites");
  p.TryToResume = radio("rgTryToResume");
  p.LocalDblClk = radio("rgLocalDblClk");
  p.HostDblClk = radio("rgHostDblClk");
  p.ShowManager = check("cbShowManager");
  p.PromptForPass = check("cbPromptForPass");
  p.Ping = check("cbPing");
  p.Retries = edit("editTries");
  p.InfiniteRetry = findChild<QRadioButton*>("rbInfiniteRetry")->isChecked();
  p.Timeout = edit("editTimeOut");
  p.TransferMode = radio("rgTransferMode");
  p.FirewallEnabled = check("cbEnableFirewall");
  p.FirewallType = radio("rgFirewallType");
  p.FirewallHost = edit("editFirewallHost");
  p.FirewallPort = edit("editFirewallPort");
  p.FirewallUser = edit("editFirewallUser");
  p.FirewallPassword = edit("editFirewallPassword");
  p.SoundsEnabled = check("cbEnableSound");
  for (int tag = 2; tag <= 7; ++tag) *SoundField(p, tag) = edit(kSoundBoxes[tag - 2]);
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
