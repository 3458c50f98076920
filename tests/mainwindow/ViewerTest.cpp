// The internal viewer (local pages, a picture fetched from a real server without its
// password ever shown), and the outside programs started on either side's selection.

#include <gtest/gtest.h>

#include <QAction>
#include <QProcess>
#include <filesystem>

#include "mainwindow/MainWindowFixture.h"
#include "support/Files.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompter.h"
#include "text/PrivateFolder.h"
#include "ui/DesktopPrograms.h"
#include "viewer/Browser.h"
#include "views/qt/HostView.h"
#include "views/qt/LocalView.h"

namespace pelmar::test {
namespace {

namespace fs = std::filesystem;

// A 1x1 GIF picture.
const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01"
    "\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
    43);

struct TStart {
  QString Program;
  QStringList Arguments;
};

TEST_F(MainWindowTest, ViewerPreviewsAndProgramsStartOnTheSelection) {
  TRealFtpServer server(TServerKind::Pyftpdlib);
  ASSERT_TRUE(server.Started()) << server.StartError();
  WriteFile(server.Root() + "logo.gif", kGif);
  const std::string local = Dir.filePath("local").toStdString();
  fs::create_directories(local);
  WriteFile(local + "/Index.HTML", "<p>local page</p>");
  WriteFile(local + "/readme.txt", "r");
  WriteFile(local + "/my \"quoted\" file.txt", "q");
  auto prompts = std::make_shared<TScriptedPrompter>();
  SetPrompter(prompts);
  TfrmMain& window = Open();
  window.show();
  std::vector<TStart> starts;
  bool startWorks = true;
  const auto realStart = window.StartProgram;
  window.StartProgram = [&](const QString& program, const QStringList& arguments, const QString&) {
    starts.push_back({program, arguments});
    return startWorks;
  };
  ASSERT_TRUE(window.OpenLocalFolder(QString::fromStdString(local), true));
  TLocalView& localView = *window.CurrentLocalView();
  ASSERT_TRUE(RunUntil([&] { return localView.ListView()->RowCount() == 3; }));
  window.ConnectToUrl(QString::fromStdString(server.Url()));
  THostView& host = *window.CurrentHostView();
  ASSERT_TRUE(RunUntil([&] { return host.Model().rowCount() == 1 && !host.Animating; }));

  window.Action("mnuExplorer")->trigger();
  TBrowser& viewer = *window.Viewer();
  ASSERT_TRUE(window.ViewerShown());
  Select(localView, {"Index.HTML"});
  EXPECT_EQ(viewer.source(), QUrl::fromLocalFile(QString::fromStdString(local + "/Index.HTML")));
  // A server's picture is fetched into this run's own folder; its address keeps no password.
  Select(host, {"logo.gif"});
  ASSERT_TRUE(viewer.Busy());
  ASSERT_TRUE(RunUntil([&] { return !viewer.Busy(); }));
  EXPECT_TRUE(viewer.toHtml().contains(QString::fromStdString(PrivateFolder() + "viewer/logo.gif")))
      << viewer.toHtml().toStdString();
  EXPECT_FALSE(viewer.CurrentAddress().contains(QString::fromStdString(server.Password())));
  EXPECT_TRUE(viewer.CurrentAddress().endsWith("/%2Flogo.gif")) << "an absolute path";

  // The text viewer gets each file as one argument, blanks and quotes and all.
  Select(localView, {"readme.txt", "my \"quoted\" file.txt"});
  window.PopEditNotePadClick(true, false);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].Program, QString::fromStdString(Preferences().Viewer));
  EXPECT_EQ(starts[0].Arguments,
            QStringList{QString::fromStdString(local + "/my \"quoted\" file.txt")});
  EXPECT_EQ(starts[1].Arguments, QStringList{QString::fromStdString(local + "/readme.txt")});

  // A program that cannot start is named with the reason: one message per file, the rest
  // still tried.
  startWorks = false;
  starts.clear();
  Preferences().Viewer = Dir.filePath("missing/xdg-open").toStdString();
  Select(localView, {"readme.txt", "Index.HTML"});
  window.PopEditNotePadClick(true, false);
  EXPECT_EQ(starts.size(), 2u);
  EXPECT_EQ(prompts->Messages,
            std::vector<QString>(
                2, "xdg-open: not found; install xdg-utils or choose a program in Preferences"));

  // A real start: a viewer whose own path has a blank records what it was given.
  window.StartProgram = realStart;
  const std::string script = Dir.filePath("my viewer.sh").toStdString();
  const std::string recorded = Dir.filePath("arguments.txt").toStdString();
  WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + recorded +
                        ".part\" && mv \"" + recorded + ".part\" \"" + recorded + "\"\n");
  fs::permissions(script, fs::perms::owner_all);
  Preferences().Viewer = script;
  Select(localView, {"my \"quoted\" file.txt"});
  window.PopEditNotePadClick(true, false);
  ASSERT_TRUE(RunUntil([&] { return fs::exists(recorded); }));
  EXPECT_EQ(ReadFile(recorded), local + "/my \"quoted\" file.txt\n");
  Preferences().Viewer = TPreferences::kDefaultViewer;
  SetPrompter(nullptr);
}

// The desktop's editor comes from its entry's Exec line: quoting undone, the place holders
// for the files dropped (Pelmar adds the files itself).
TEST(DesktopPrograms, ExecLinesBecomeCommands) {
  const struct {
    const char* Exec;
    QStringList Arguments;
  } cases[] = {
      {"gedit %U", {"gedit"}},
      {"kate -b %U", {"kate", "-b"}},
      {"\"/opt/My Editor/edit\" --name=\"a \\\"b\\\"\" %f",
       {"/opt/My Editor/edit", "--name=a \"b\""}},
      {"flatpak run org.gnome.gedit @@u %U @@", {"flatpak", "run", "org.gnome.gedit"}},
      {"edit --percent=100%% %F", {"edit", "--percent=100%"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExecArguments(c.Exec), c.Arguments) << c.Exec;
    EXPECT_EQ(QProcess::splitCommand(JoinCommand(c.Arguments)).first(), c.Arguments.first());
  }
}

}  // namespace
}  // namespace pelmar::test
