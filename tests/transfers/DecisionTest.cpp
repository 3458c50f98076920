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
  TAnswer AskOverwrite(const std::string& name, const TQuestionFiles&, bool canRecover) override {
    Asked.push_back("overwrite " + name + (canRecover ? "" : " (no recovery)"));
    return Next();
  }
  void Note(const std::string& text) override { Notes.push_back(text); }
  std::vector<std::string> Notes;
  TAnswer AskRestart(const std::string& name, const TQuestionFiles&) override {
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
};

constexpr TDateTime kOld = 46000.0;
constexpr TDateTime kNew = 46001.0;
constexpr int64_t kSkip = -1;

// Preferences that some cases change.
const auto NoXferOlder = [](TPreferences& p) { p.NoXferOlder = true; };
const auto NoOverwriteQuestion = [](TPreferences& p) { p.ConfirmOverwrites = false; };
const auto NeverResume = [](TPreferences& p) { p.TryToResume = 0; };
const auto NoRestartQuestion = [](TPreferences& p) { p.ConfirmRestarts = false; };
const auto ResumeText = [](TPreferences& p) { p.TryToResume = 2; };
const auto ResumeTextUnasked = [](TPreferences& p) {
  p.TryToResume = 2;
  p.ConfirmRestarts = false;
};

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
    bool Noted = false;  // told that a text file goes whole
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
      // Bytes on disk are not bytes on the wire in text mode: never resumed, and said why, only
      // where resuming was chosen.
      {"text: resume", "t.txt", 300, kNew, 200, true, ResumeText, {Yes}, 0, 1, true},
      {"text: resume all", "t.txt", 300, kNew, 200, true, ResumeText, {YesToAll}, 0, 1, true},
      {"text: start over", "t.txt", 300, kNew, 200, true, ResumeText, {No}, 0, 1},
      {"text: skip", "t.txt", 300, kNew, 200, true, ResumeText, {Closed}, kSkip, 1},
      {"text: unasked", "t.txt", 300, kNew, 200, true, ResumeTextUnasked, {}, 0, 0, true},
      {"text: Recovery", "t.txt", 300, kNew, 200, false, nullptr, {Recovery}, 0, 1},
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
    const std::string note =
        "\"t.txt\" is transferred in text mode, which cannot be resumed; it is sent whole";
    EXPECT_EQ(answers.Notes, std::vector<std::string>(c.Noted ? 1 : 0, note)) << c.Name;
  }
  // Recovery (resuming from the file there) is offered for a binary file shorter than the new.
  for (const auto& [file, there, asked] :
       {std::tuple{"a.bin", 200, "overwrite a.bin"},
        std::tuple{"t.txt", 200, "overwrite t.txt (no recovery)"},
        std::tuple{"same.bin", 300, "overwrite same.bin (no recovery)"}}) {
    TAnswers answers;
    TAnswerMemory memory;
    DecideQueuing(file, 300, kNew, TExistingFile{there, kOld}, false, TPreferences(), memory,
                  answers);
    EXPECT_EQ(answers.Asked, std::vector<std::string>{asked});
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
  EXPECT_EQ(MulDiv(1, 1, 2), 1);  // halves round up
  EXPECT_EQ(MulDiv(-1, 1, 2), -1);
  EXPECT_EQ(MulDiv(5, 5, 0), -1);
  EXPECT_EQ(MulDiv(100, 3'000'000'000LL, 6'000'000'000LL), 50) << "files over 2 GiB";
  EXPECT_EQ(MulDiv(INT64_MAX, 4, 2), -1) << "overflow";
}

}  // namespace
}  // namespace pelmar
