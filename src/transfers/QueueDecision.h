#pragma once
// Whether a file is queued at all, and from which offset, when the destination already shows a
// file of that name: skip, replace or resume, by the preferences and by asking.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/DateTime.h"

namespace pelmar {

struct TPreferences;

enum class TAnswer { Yes, No, YesToAll, NoToAll, Recovery, Closed };

// The answers given during one upload or download command, shared by its whole walk.
struct TAnswerMemory {
  bool OverwriteToAll = false;
  bool OverwriteYes = false;
  bool RestartToAll = false;
  bool RestartYes = false;
  // The command covers a single file: no "to All" answers are offered.
  bool OneFile = false;
};

// The two files a question is about: the one at the destination and the one to transfer.
struct TQuestionFiles {
  int64_t ExistingSize = 0;
  TDateTime ExistingDate = 0;
  int64_t NewSize = 0;
  TDateTime NewDate = 0;
  bool OfferAll = true;  // more files of the command may be asked about
};

// The two questions; the application shows its dialogs, scripts answer from options.
class IQueueQuestions {
 public:
  virtual ~IQueueQuestions() = default;
  // `canRecover`: whether "Recovery" (resuming from the existing size) may be offered.
  virtual TAnswer AskOverwrite(const std::string& name, const TQuestionFiles& files,
                               bool canRecover) = 0;
  virtual TAnswer AskRestart(const std::string& name, const TQuestionFiles& files) = 0;
  // Why a file is treated as it is (a log line or a message on the terminal).
  virtual void Note(const std::string&) {}
};

struct TExistingFile {
  int64_t Size = 0;
  TDateTime Modified = 0;
};

// The restart offset to queue the file with, or nullopt to skip it.
std::optional<int64_t> DecideQueuing(const std::string& name, int64_t size, TDateTime modified,
                                     const std::optional<TExistingFile>& existing,
                                     bool serverCanResume, const TPreferences& preferences,
                                     TAnswerMemory& memory, IQueueQuestions& questions);

}  // namespace pelmar
