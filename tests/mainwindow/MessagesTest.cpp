// What the message log shows of a server's line (the log itself: MainWindowTest), the event
// sounds, and what Compare Folders selects (in the panes: MainWindowTest).

#include <gtest/gtest.h>

#include <tuple>

#include "mainwindow/CompareFolders.h"
#include "mainwindow/MainWindowFixture.h"
#include "platform/SoundPlayer.h"
#include "ui/QtText.h"
#include "views/qt/HostView.h"

namespace pelmar::test {
namespace {

// A server's control characters reach the message log as visible marks, never as actions;
// line ends around a line go.
TEST(LogLine, ControlCharactersAreShownNotActedOn) {
  const struct {
    QString In;
    QString Out;
  } cases[] = {
      {QStringLiteral("220 Ready\r\n"), QStringLiteral("220 Ready")},
      {QStringLiteral("220 \x1b]0;title\x07"), QStringLiteral("220 \u241b]0;title\u2407")},
      {QStringLiteral("a\x7f\u009b2J"), QStringLiteral("a\u2421\\x9b2J")},
      {QStringLiteral("caf\u00e9"), QStringLiteral("caf\u00e9")},
  };
  for (const auto& c : cases) EXPECT_EQ(LogLine(c.In), c.Out) << c.In.toStdString();
}

TEST(CompareOneWay, SelectsWhatTheOtherSideLacksOrHasSmallerOrOlder) {
  const QDateTime today(QDate(2026, 12, 6), QTime(12, 0));
  const QDateTime yesterday = today.addDays(-1);
  const std::vector<TCompareEntry> local = {
      {"Index.html", 10, today}, {"a.txt", 100, today}, {"only-here", 0, today}};
  const std::vector<TCompareEntry> remote = {
      {"index.html", 10, today}, {"a.txt", 200, yesterday}, {"folder", 0, yesterday}};
  using TRows = std::vector<int>;
  const struct {
    bool IgnoreSize, IgnoreDate;
    TRows Local, Remote;
  } cases[] = {
      {false, true, {2}, {1, 2}},      // the dialog's defaults: the larger remote a.txt
      {false, false, {1, 2}, {1, 2}},  // and the newer local one
      {true, true, {2}, {2}},          // only what the other side lacks
      {true, false, {1, 2}, {2}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareOneWay(local, remote, c.IgnoreSize, c.IgnoreDate), c.Local)
        << c.IgnoreSize << c.IgnoreDate;
    EXPECT_EQ(CompareOneWay(remote, local, c.IgnoreSize, c.IgnoreDate), c.Remote)
        << c.IgnoreSize << c.IgnoreDate;
  }
  EXPECT_EQ(CompareOneWay(local, {}, false, false), (TRows{0, 1, 2})) << "empty other side";
  const std::vector<TCompareEntry> twice = {{"A", 5, today}, {"a", 50, today}};
  EXPECT_EQ(CompareOneWay({{"a", 10, today}}, twice, false, false), TRows{0})
      << "the first namesake from the top counts";

  // Exact times compare to the second, a listed time to the minute says nothing finer (the
  // rule itself: SyncPlanTest); a part of a second of a local file's time says nothing.
  const QDateTime exact = today.addSecs(45);
  for (const auto& [mine, theirs, newer] : {std::tuple{exact, today, false},
                                            {exact.addMSecs(999), exact, false},
                                            {exact.addMSecs(1000), exact.addMSecs(999), true},
                                            {exact, QDateTime(), false}}) {
    EXPECT_EQ(CompareOneWay({{"f", 1, mine}}, {{"f", 1, theirs}}, true, false).size(),
              newer ? 1u : 0u)
        << mine.toString().toStdString() << " vs " << theirs.toString().toStdString();
  }
}

class TRecordingPlayer : public ISoundPlayer {
 public:
  void Play(const std::string& file) override { Played.push_back(file); }
  std::vector<std::string> Played;
};

TEST_F(MainWindowTest, EventsPlayTheSoundsOfThePreferences) {
  auto player = std::make_shared<TRecordingPlayer>();
  SetSoundPlayer(player);
  TfrmMain& window = Open();
  TPreferences& preferences = Preferences();
  preferences.SoundsEnabled = true;
  preferences.ConnectSuccessSound = "success.wav";
  preferences.ConnectFailureSound = "failure.wav";
  preferences.DisconnectSound = "";
  preferences.EndOfFileSound = "file.wav";
  preferences.EndOfTotalSound = "all.wav";
  preferences.ErrorSound = "error.wav";
  THostView& view = *window.CurrentHostView();
  using TPlayed = std::vector<std::string>;
  const struct {
    int Code;
    TPlayed Played;
  } cases[] = {
      {usConnected, {"success.wav"}},
      {usConnectFailed, {"failure.wav"}},
      {usDisconnected, {}},  // an empty path plays nothing
      {usFileDone, {"file.wav"}},
      {usAllDone, {"all.wav"}},
      {usError, {"error.wav"}},
      {usTransferError, {"error.wav"}},
      {usBusy, {}},
  };
  for (const auto& c : cases) {
    player->Played.clear();
    emit view.StateUpdated(c.Code, 0);
    EXPECT_EQ(player->Played, c.Played) << c.Code;
  }
  player->Played.clear();
  window.EndOfAll();  // the queue's notices: the same sounds
  EXPECT_EQ(player->Played, TPlayed{"all.wav"});
  preferences.SoundsEnabled = false;
  emit view.StateUpdated(usConnected, 0);
  EXPECT_EQ(player->Played.size(), 1u) << "silent when sounds are off";
  SetSoundPlayer(nullptr);
}

}  // namespace
}  // namespace pelmar::test
