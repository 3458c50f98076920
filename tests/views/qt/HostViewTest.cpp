// The remote pane against the scripted server: what it sends for browsing, permissions, masks,
// renaming, deleting whole folders and waiting for folders, what it forgets on disconnect, and
// a session the server closed made again; against ProFTPD, an address's folder. (Both panes
// with the queue, in the window: PaneCommandsTest.)

#include <QAbstractItemModel>
#include <QStandardItemModel>
#include <algorithm>

#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedFtpServer.h"
#include "text/TextUtils.h"
#include "ui/TreeCombo.h"
#include "views/qt/HostView.h"
#include "views/qt/PaneFixture.h"

namespace pelmar::test {
namespace {

using TCommands = std::vector<std::string>;

const std::string kRoot =
    "drwxr-xr-x 2 u g 0 Jan  1  2020 sub\r\n"
    "drwxr-xr-x 2 u g 0 Jan  1  2020 locked\r\n"
    "-rw-r--r-- 1 u g 100 Jan  1  2020 a.txt\r\n"
    "-rw-r--r-- 1 u g 200 Jan  1  2020 b.bin\r\n";

TScript LogOn() {
  return TScript().Reply("220 Ready").OnEach({"331 Password", "230 In"}).Probe();
}

// Log-on, the first PWD and the listing of "/".
TScript LoggedOnAtRoot(const std::string& listing) {
  TScript script = LogOn();
  script.On("257 \"/\"").On("200 PORT ok").On("150 Here").SendData(listing).Reply("226 Done");
  return script;
}

// CWD and PWD into `folder`, then its listing.
void Enter(TScript& script, const std::string& folder, const std::string& listing) {
  script.On("250 OK").On("257 \"" + folder + "\"");
  script.On("200 PORT ok").On("150 Here").SendData(listing).Reply("226 Done");
}

// The commands without the log-on and without PORT's changing argument.
TCommands Sent(const TScriptedFtpServer& server) {
  TCommands sent;
  const auto all = server.Commands();
  for (size_t i = 5; i < all.size(); ++i) {
    sent.push_back(all[i].rfind("PORT ", 0) == 0 ? "PORT" : all[i]);
  }
  return sent;
}

std::string Joined(const TCommands& commands) {
  std::string text;
  for (const std::string& command : commands) text += (text.empty() ? "" : ", ") + command;
  return text;
}

class HostViewTest : public PaneTest {
 protected:
  void Open(TScriptedFtpServer& server) {
    View = std::make_unique<THostView>(Page(), Target);
    Tree = new TTreeCombo(Pages.back().get());
    View->SetTreeCombo(Tree);
    View->Connect("127.0.0.1", server.Port(), "anonymous", "me@example.com", "", "", "");
    ASSERT_TRUE(RunUntil([&] { return View->Model().rowCount() > 0; }));
  }
  int RowOf(const QString& name) const { return View->Model().FindCaption(name); }
  QStringList Names() const {
    QStringList names;
    for (int row = 0; row < View->Model().rowCount(); ++row) {
      names << View->Model().data(View->Model().index(row, 0), Qt::DisplayRole).toString();
    }
    return names;
  }

  std::unique_ptr<THostView> View;
  TTreeCombo* Tree = nullptr;
};

TEST_F(HostViewTest, BrowsingPermissionsRenamingAndDisconnecting) {
  TScript script = LoggedOnAtRoot(kRoot);
  Enter(script, "/sub", "-rw-r--r-- 1 u g 5 Jan  1  2020 inner.txt\r\n");
  script.On("200 SITE CHMOD ok").On("200 SITE CHMOD ok");
  Enter(script, "/", kRoot);  // the mask lists the folder again
  script.On("350 Ready for RNTO").On("250 Renamed");
  // A refused rename: the pane shows the new name at once, then what the server really has.
  script.On("350 Ready for RNTO").On("553 Name taken");
  Enter(script, "/", kRoot);
  script.On("221 Bye").WaitClose();
  TScriptedFtpServer server({script});
  Open(server);
  EXPECT_EQ(Names(), (QStringList{"locked", "sub", "a.txt", "b.bin"})) << "folders first";
  EXPECT_EQ(View->PanelText(0), "4 Entries, 300 Bytes");

  ASSERT_TRUE(View->OpenItem(View->Model().index(RowOf("sub"), 0)));
  ASSERT_TRUE(RunUntil([&] { return View->Folder() == "/sub/" && View->Model().rowCount() == 1; }));
  const size_t before = server.Commands().size();
  View->FolderUp();
  EXPECT_EQ(View->Folder(), "/");
  EXPECT_EQ(Names().size(), 4) << "shown from the cache";
  EXPECT_EQ(server.Commands().size(), before) << "a revisit costs no LIST";

  // Changed permissions go to every selected entry.
  View->ListView()->Select(View->Model().index(RowOf("a.txt"), 0), true);
  View->ListView()->Select(View->Model().index(RowOf("b.bin"), 0), false);
  View->AskProperties = [&](const std::vector<TPropertyEntry>& entries, const QString& location,
                            bool editable) -> std::optional<uint16_t> {
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(location, "/");
    EXPECT_TRUE(editable) << "a Unix listing";
    return std::optional<uint16_t>(4 | 8 | 16 | 32 | 256);
  };
  EXPECT_TRUE(View->ShowProperties());

  View->SetMask("*.TXT");
  ASSERT_TRUE(RunUntil([&] { return Names() == QStringList{"locked", "sub", "a.txt"}; }));

  // Refused without a word to the server: empty, unchanged, or a path.
  const QModelIndex a = View->Model().index(RowOf("a.txt"), 0);
  for (const char* refused : {"", "a.txt", "x/a.txt"}) {
    View->Model().setData(a, QString(refused), Qt::EditRole);
  }
  View->Model().setData(a, QString("A.txt"), Qt::EditRole);  // letter case alone is a rename
  ASSERT_TRUE(server.WaitForCommands(before + 8, std::chrono::seconds(10)));  // ... RNTO
  EXPECT_EQ(Names(), (QStringList{"locked", "sub", "A.txt"}));
  View->Model().setData(View->Model().index(RowOf("A.txt"), 0), QString("b.TXT"), Qt::EditRole);
  // The refusal comes back, the folder is listed again and shows the old name.
  ASSERT_TRUE(RunUntil([&] {
    return server.Commands().size() >= before + 14 &&
           Names() == QStringList{"locked", "sub", "a.txt"};
  })) << Names().join(u',').toStdString();
  // The RNTO reply read first: a disconnect while a reply is awaited aborts the request and
  // drops the connection without QUIT, as designed.
  ASSERT_TRUE(RunUntil([&] { return !View->Engine().IsBusy(); }));

  View->Disconnect();
  ASSERT_TRUE(RunUntil([&] { return !View->Connected() && View->Model().rowCount() == 0; }));
  EXPECT_TRUE(View->LogEntries.isEmpty());
  EXPECT_TRUE(View->Cache().Paths().empty());
  EXPECT_EQ(Tree->TreeModel()->rowCount(), 0);
  // The pane lets go at once; its QUIT reaches the server a moment later.
  ASSERT_TRUE(server.WaitForCommands(before + 15, std::chrono::seconds(10)));
  EXPECT_EQ(Joined(Sent(server)),
            "PWD, PORT, LIST, CWD /sub/, PWD, PORT, LIST, SITE CHMOD 744 /a.txt, "
            "SITE CHMOD 744 /b.bin, CWD /, PWD, PORT, LIST, RNFR /a.txt, RNTO /A.txt, "
            "RNFR /A.txt, RNTO /b.TXT, CWD /, PWD, PORT, LIST, QUIT");
}

TEST_F(HostViewTest, DeletingFoldersGoesFilesFirstAndSkipsWhatCannotBeListed) {
  TScript script = LoggedOnAtRoot(
      "drwxr-xr-x 2 u g 0 Jan  1  2020 sub\r\n"
      "drwxr-xr-x 2 u g 0 Jan  1  2020 locked\r\n"
      "-rw-r--r-- 1 u g 100 Jan  1  2020 a.txt\r\n");
  script.On("250 Deleted");                            // DELE /a.txt
  script.On("550 Permission denied").On("257 \"/\"");  // locked cannot be entered
  Enter(script, "/sub",
        "-rw-r--r-- 1 u g 5 Jan  1  2020 inner.txt\r\n"
        "drwxr-xr-x 2 u g 0 Jan  1  2020 deeper\r\n");
  script.On("250 Deleted");  // DELE /sub/inner.txt
  Enter(script, "/sub/deeper", "");
  script.On("250 OK").On("250 Removed");  // CWD /sub/, RMD /sub/deeper
  script.On("250 OK").On("250 Removed");  // CWD /, RMD /sub
  Enter(script, "/", "drwxr-xr-x 2 u g 0 Jan  1  2020 locked\r\n");
  script.WaitClose();
  TScriptedFtpServer server({script});
  Open(server);
  View->SelectAll();
  EXPECT_TRUE(View->DeleteSelected(false));
  ASSERT_TRUE(RunUntil([&] { return Names() == QStringList{"locked"}; }));
  // Files before their folder, each folder listed before it goes, the locked one left.
  EXPECT_EQ(Joined(Sent(server)),
            "PWD, PORT, LIST, DELE /a.txt, CWD /locked/, PWD, CWD /sub/, PWD, PORT, LIST, "
            "DELE /sub/inner.txt, CWD /sub/deeper/, PWD, PORT, LIST, CWD /sub/, RMD /sub/deeper, "
            "CWD /, RMD /sub, CWD /, PWD, PORT, LIST");
  EXPECT_TRUE(View->LogEntries.contains("Could not open folder /locked/"));
}

TEST_F(HostViewTest, AWaitForAFolderEndsWhenThePaneCloses) {
  TScript script = LoggedOnAtRoot(kRoot);
  script.On("250 OK").On("257 \"/sub\"").Read().WaitClose();  // PORT never answered
  TScriptedFtpServer server({script});
  Open(server);
  // The pane goes while its wait runs; the wait returns false and touches nothing.
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(server.WaitForCommands(9, std::chrono::seconds(10)));  // ... PWD, PORT
    View.reset();
  });
  EXPECT_FALSE(View->ChangeFolderAndWait("/sub/"));
  EXPECT_EQ(View, nullptr);
}

// The server closes the browsing session: the next command logs on again with the same
// values, goes back to the folder and runs; when that log-on is refused the pane ends the
// session as any disconnect would.
TEST_F(HostViewTest, ASessionTheServerClosedIsMadeAgainByTheNextCommand) {
  const std::string inner = "-rw-r--r-- 1 u g 5 Jan  1  2020 inner.txt\r\n";
  TScript first = LoggedOnAtRoot(kRoot);
  Enter(first, "/sub", inner);
  first.Close();
  TScript second = LogOn();
  second.On("250 OK");  // back to /sub/
  Enter(second, "/sub", inner + "-rw-r--r-- 1 u g 7 Jan  1  2020 new.txt\r\n");
  second.Close();
  TScript refused;
  refused.Reply("220 Ready").On("331 Password").On("530 Login incorrect").WaitClose();
  TScriptedFtpServer server({first, second, refused});
  Open(server);
  std::vector<int> states;
  QObject::connect(View.get(), &TCustomView::StateUpdated,
                   [&states](int code, int) { states.push_back(code); });
  ASSERT_TRUE(View->ChangeFolder("/sub/"));
  ASSERT_TRUE(RunUntil([&] { return Names() == QStringList{"inner.txt"}; }));
  ASSERT_TRUE(server.WaitForConnections(1, std::chrono::seconds(10)));

  View->RefreshFolder();
  ASSERT_TRUE(RunUntil([&] { return Names() == (QStringList{"inner.txt", "new.txt"}); }));
  EXPECT_TRUE(View->Connected());
  EXPECT_EQ(View->Folder(), "/sub/");
  EXPECT_EQ(std::count(states.begin(), states.end(), usDisconnected), 0) << "the session went on";
  const TCommands all = server.Commands();
  const auto again = std::find(all.begin() + 1, all.end(), "USER anonymous");
  ASSERT_NE(again, all.end());
  TCommands resumed(again + 5, all.end());
  for (auto& command : resumed) {
    if (command.rfind("PORT ", 0) == 0) command = "PORT";
  }
  EXPECT_EQ(resumed, (TCommands{"CWD /sub/", "CWD /sub/", "PWD", "PORT", "LIST"}));

  View->RefreshFolder();
  ASSERT_TRUE(RunUntil([&] { return std::count(states.begin(), states.end(), usDisconnected); }));
  EXPECT_FALSE(View->Connected());
  EXPECT_EQ(View->Model().rowCount(), 0);
  EXPECT_TRUE(View->Cache().Paths().empty());
  EXPECT_EQ(std::count(states.begin(), states.end(), usConnectFailed), 1);
  EXPECT_EQ(std::count(states.begin(), states.end(), usDisconnected), 1);
}

// An address's path is relative to the log-on folder, which on ProFTPD is not the root: the
// pane opens the folder the address names, and the address it gives an entry names that entry.
TEST_F(HostViewTest, AnAddressOpensItsFolderInTheLogOnFolder) {
  if (const std::string why = TRealFtpServer::CannotRun(TServerKind::Proftpd); !why.empty()) {
    GTEST_SKIP() << why;
  }
  TRealFtpServer server(TServerKind::Proftpd);
  ASSERT_TRUE(server.Started()) << server.StartError();
  std::filesystem::create_directories(server.Root() + "dir with space");
  WriteFile(server.Root() + "dir with space/inside.txt", "in");
  View = std::make_unique<THostView>(Page(), Target);
  const TSplitUrl parts = SplitUrl(server.Url() + "dir%20with%20space/", "");
  View->Connect("127.0.0.1", server.Port(), QString::fromStdString(server.User()),
                QString::fromStdString(server.Password()), "",
                QString::fromStdString(parts.ServerFolder), "");
  ASSERT_TRUE(RunUntil([&] { return Names() == QStringList{"inside.txt"}; }))
      << View->Folder().toStdString();
  const QModelIndex entry = View->Model().index(0, 0);
  const TSplitUrl again = SplitUrl(View->BuildUrl(entry).toStdString(), "");
  EXPECT_EQ(QString::fromStdString(again.ServerFolder + again.FileName), View->GetItemPath(entry));
}

}  // namespace
}  // namespace pelmar::test
