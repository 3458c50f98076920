// The queuing decision over sizes, dates, preferences and answers, and MulDiv.

#include <gtest/gtest.h>

#include <deque>

#include "settings/Preferences.h"
#include "transfers/MulDiv.h"
#include "transfers/QueueDecision.h"

namespace pelmar {
namespace {

class TAnswers : public IQueueQuestions {
 public:
  TAnswer AskOverwrite(const std::string& name, const TQuestionFiles& files,
                       bool canRecover) override {
    OfferedAll = files.OfferAll;
    Asked.push_back("overwrite " + name + (canRecover ? "" : " (no recovery)"));
    return Next();
  }
  void Note(const std::string& text) override { Notes.push_back(text); }
  std::vector<std::string> Notes;
  TAnswer AskRestart(const std::string& name, const TQuestionFiles& files) override {
    OfferedAll = files.OfferAll;
    Asked.push_back("restart " + name);
    return Next();
  }
  TAnswer Next() {
    if (Script.empty()) return TAnswer::Closed;
    const TAnswer answer = Script.front();
    Script.pop_front();
    return answer;
  }
  std::deque<TAnswer> Script;
  std::vector<std::string> Asked;
  bool OfferedAll = false;
};

constexpr TDateTime kOld = 46000.0;
constexpr TDateTime kNew = 46001.0;
constexpr int64_t kSkip = -1;

// Bytes on disk are not bytes on the wire in text mode: never resumed, and said why.
TEST(QueueDecision, TextModeFilesAreSentWholeOnlyWhereResumingWasChosen) {
  const std::string note =
      "\"notes.txt\" is transferred in text mode, which cannot be resumed; it is sent whole";
  const struct {
    const char* Name;
    bool Confirm;                // ConfirmRestarts
    std::deque<TAnswer> Script;  // the restart question's answer
    int64_t Expected;            // kSkip: not queued
    bool Noted;
  } cases[] = {
      {"resume chosen", true, {TAnswer::Yes}, 0, true},
      {"resume chosen for all", true, {TAnswer::YesToAll}, 0, true},
      {"start over chosen", true, {TAnswer::No}, 0, false},
      {"skip chosen", true, {TAnswer::Closed}, kSkip, false},
      {"no answer (end of input)", true, {}, kSkip, false},
      {"resuming without asking", false, {}, 0, true},
  };
  for (const auto& c : cases) {
    TPreferences preferences;
    preferences.TryToResume = 2;
    preferences.ConfirmRestarts = c.Confirm;
    TAnswers answers;
    answers.Script = c.Script;
    TAnswerMemory memory;
    const auto offset = DecideQueuing("notes.txt", 300, kNew, TExistingFile{200, kOld}, true,
                                      preferences, memory, answers);
    EXPECT_EQ(offset.value_or(kSkip), c.Expected) << c.Name;
    EXPECT_EQ(answers.Notes, c.Noted ? std::vector<std::string>{note} : std::vector<std::string>{})
        << c.Name;
  }
  // A server that cannot resume: the overwrite question, and recovery is not offered.
  TPreferences preferences;
  TAnswers answers;
  answers.Script = {TAnswer::Recovery};
  TAnswerMemory memory;
  EXPECT_EQ(DecideQueuing("notes.txt", 300, kNew, TExistingFile{200, kOld}, false, preferences,
                          memory, answers),
            0);
  EXPECT_EQ(answers.Asked, std::vector<std::string>{"overwrite notes.txt (no recovery)"});
  // As large as the new one: replace or keep, nothing to resume.
  answers.Asked.clear();
  answers.Script = {TAnswer::No};
  EXPECT_FALSE(DecideQueuing("same.bin", 300, kNew, TExistingFile{300, kOld}, true, preferences,
                             memory, answers));
  EXPECT_EQ(answers.Asked, std::vector<std::string>{"overwrite same.bin (no recovery)"});
}

// Preferences that some cases change.
const auto NoXferOlder = [](TPreferences& p) { p.NoXferOlder = true; };
const auto NoOverwriteQuestion = [](TPreferences& p) { p.ConfirmOverwrites = false; };
const auto NeverResume = [](TPreferences& p) { p.TryToResume = 0; };
const auto NoRestartQuestion = [](TPreferences& p) { p.ConfirmRestarts = false; };

TEST(QueueDecision, OneFileAtATime) {
  using enum TAnswer;
  const struct {
    const char* Name;
    const char* File;
    int64_t Size;
    TDateTime Date;
    int64_t There;  // the size of the file already there (dated kOld), -1 for none
    bool CanResume;
    void (*Set)(TPreferences&);
    std::deque<TAnswer> Answers;
    int64_t Offset;  // kSkip for no item
    int Questions;
  } cases[] = {
      {"nothing there", "a.bin", 100, kNew, -1, true, nullptr, {}, 0, 0},
      {"same size and date, NoXferOlder", "a.bin", 100, kOld, 100, true, NoXferOlder, {}, kSkip, 0},
      {"same size, newer, NoXferOlder", "a.bin", 100, kNew, 100, true, NoXferOlder, {Yes}, 0, 1},
      {"larger there: Yes replaces", "a.bin", 100, kNew, 200, true, nullptr, {Yes}, 0, 1},
      {"overwrite No skips", "a.bin", 100, kNew, 200, true, nullptr, {No}, kSkip, 1},
      {"overwrite closed skips", "a.bin", 100, kNew, 200, true, nullptr, {Closed}, kSkip, 1},
      {"overwrite Recovery resumes", "a.bin", 300, kNew, 200, false, nullptr, {Recovery}, 200, 1},
      {"ConfirmOverwrites off", "a.bin", 100, kNew, 200, true, NoOverwriteQuestion, {}, 0, 0},
      {"empty file there", "a.bin", 100, kNew, 0, false, nullptr, {}, 0, 0},
      {"TryToResume none: overwrite?", "a.bin", 300, kNew, 200, true, NeverResume, {Yes}, 0, 1},
      {"no resume on the server: overwrite?", "a.bin", 300, kNew, 200, false, nullptr, {Yes}, 0, 1},
      {"half there: resume Yes", "a.bin", 300, kNew, 200, true, nullptr, {Yes}, 200, 1},
      {"half there: No fetches all", "a.bin", 300, kNew, 200, true, nullptr, {No}, 0, 1},
      {"half there: closed skips", "a.bin", 300, kNew, 200, true, nullptr, {Closed}, kSkip, 1},
      {"ConfirmRestarts off resumes", "a.bin", 300, kNew, 200, true, NoRestartQuestion, {}, 200, 0},
      {"ASCII file, binary resume only", "a.TXT", 300, kNew, 200, true, nullptr, {}, 0, 0},
  };
  for (const auto& c : cases) {
    TPreferences preferences;
    if (c.Set) c.Set(preferences);
    TAnswers answers;
    answers.Script = c.Answers;
    TAnswerMemory memory;
    std::optional<TExistingFile> there;
    if (c.There >= 0) there = TExistingFile{c.There, kOld};
    const auto offset =
        DecideQueuing(c.File, c.Size, c.Date, there, c.CanResume, preferences, memory, answers);
    EXPECT_EQ(offset.value_or(kSkip), c.Offset) << c.Name;
    EXPECT_EQ(static_cast<int>(answers.Asked.size()), c.Questions) << c.Name;
  }
}

TEST(QueueDecision, AnswersForAllLastOneCommand) {
  TPreferences preferences;
  TAnswers answers;
  TAnswerMemory command;
  answers.Script = {TAnswer::YesToAll};
  for (int i = 0; i < 5; ++i) {  // also the files of sub-folders: the memory is shared
    EXPECT_EQ(DecideQueuing("f" + std::to_string(i), 10, kNew, TExistingFile{20, kOld}, true,
                            preferences, command, answers),
              0);
  }
  EXPECT_EQ(answers.Asked.size(), 1u);
  answers.Script = {TAnswer::NoToAll};
  EXPECT_EQ(
      DecideQueuing("r1", 300, kNew, TExistingFile{200, kOld}, true, preferences, command, answers),
      0);
  EXPECT_EQ(
      DecideQueuing("r2", 300, kNew, TExistingFile{200, kOld}, true, preferences, command, answers),
      0)
      << "No to All: the whole file again, without asking";
  EXPECT_EQ(answers.Asked.size(), 2u);
  TAnswerMemory next;  // the next command asks again
  answers.Script = {TAnswer::No};
  EXPECT_FALSE(
      DecideQueuing("f0", 10, kNew, TExistingFile{20, kOld}, true, preferences, next, answers));
  EXPECT_EQ(answers.Asked.size(), 3u);
}

TEST(MulDiv, RoundingAndLimits) {
  EXPECT_EQ(MulDiv(100, 1, 3), 33);
  EXPECT_EQ(MulDiv(100, 2, 3), 67);
  EXPECT_EQ(MulDiv(100, 1, 2), 50);
  EXPECT_EQ(MulDiv(1, 1, 2), 1);  // halves round up
  EXPECT_EQ(MulDiv(-1, 1, 2), -1);
  EXPECT_EQ(MulDiv(5, 5, 0), -1);
  EXPECT_EQ(MulDiv(100, 3'000'000'000LL, 6'000'000'000LL), 50) << "files over 2 GiB";
  EXPECT_EQ(MulDiv(INT64_MAX, 4, 2), -1) << "overflow";
}

}  // namespace
}  // namespace pelmar
