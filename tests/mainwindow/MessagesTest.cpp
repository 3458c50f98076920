// What the message log shows of a server's line (the log itself: MainWindowTest), what
// Compare Folders selects (in the panes: PaneCommandsTest), and the window's settings read back.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <tuple>

#include "mainwindow/CompareFolders.h"
#include "mainwindow/WindowState.h"
#include "ui/QtText.h"

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

// Values of the settings file that name no view style or sort column fall back.
TEST(WindowState, ValuesThatNameNothingFallBack) {
  QTemporaryDir dir;
  QSettings settings(dir.filePath("registry.ini"), QSettings::IniFormat);
  settings.setValue("Windows/Main/LocalViewStyle", "3");
  settings.setValue("Windows/Main/HostViewStyle", "0x9");
  settings.setValue("Windows/Main/LocalSort", "7");
  settings.setValue("Windows/Main/HostSort", "-4");  // the fourth column, descending
  const TWindowState state = ReadWindowState(settings);
  EXPECT_EQ(state.LocalViewStyle, 3);
  EXPECT_EQ(state.HostViewStyle, 2);
  EXPECT_EQ(state.LocalSort, 1);
  EXPECT_EQ(state.HostSort, -4);
}

}  // namespace
}  // namespace pelmar::test
