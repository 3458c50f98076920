#include "transfers/QueueDecision.h"

#include "settings/Preferences.h"

namespace pelmar {

std::optional<int64_t> DecideQueuing(const std::string& name, int64_t size, TDateTime modified,
                                     const std::optional<TExistingFile>& existing,
                                     bool serverCanResume, const TPreferences& preferences,
                                     TAnswerMemory& memory, IQueueQuestions& questions) {
  if (!existing) return 0;
  const int64_t there = existing->Size;
  if (preferences.NoXferOlder && there == size && modified <= existing->Modified) {
    return std::nullopt;
  }
  // In text mode the bytes on disk (LF line ends) are not the bytes on the wire (CR LF):
  // appending from the file's size would duplicate or lose lines.
  const bool text = preferences.TransferModeFor(name) == 0;
  const TQuestionFiles files{there, existing->Modified, size, modified, !memory.OneFile};
  if (there >= size || preferences.TryToResume == 0 || !serverCanResume) {
    if (!preferences.ConfirmOverwrites || there == 0) return 0;
    if (memory.OverwriteToAll) {
      return memory.OverwriteYes ? std::optional<int64_t>(0) : std::nullopt;
    }
    switch (questions.AskOverwrite(name, files, there < size && !text)) {
      case TAnswer::Yes:
        return 0;
      case TAnswer::YesToAll:
        memory.OverwriteToAll = memory.OverwriteYes = true;
        return 0;
      case TAnswer::NoToAll:
        memory.OverwriteToAll = true;
        memory.OverwriteYes = false;
        return std::nullopt;
      case TAnswer::Recovery:
        return text ? 0 : there;
      default:
        return std::nullopt;
    }
  }
  bool ask = preferences.ConfirmRestarts && !memory.RestartToAll;
  const bool refusedForAll = memory.RestartToAll && !memory.RestartYes;
  const auto decide = [&]() -> std::optional<int64_t> {
    int64_t offset = there;
    if (preferences.IsAsciiExtension(name)) {
      if (preferences.TryToResume == 1) {
        offset = 0;
        ask = false;
      } else if (refusedForAll) {
        offset = 0;
      }
    } else if (refusedForAll) {
      offset = 0;
    }
    if (!ask) return offset;
    switch (questions.AskRestart(name, files)) {
      case TAnswer::Yes:
        return there;
      case TAnswer::YesToAll:
        memory.RestartToAll = memory.RestartYes = true;
        return there;
      case TAnswer::No:
        return 0;
      case TAnswer::NoToAll:
        memory.RestartToAll = true;
        memory.RestartYes = false;
        return 0;
      default:
        return std::nullopt;
    }
  };
  const std::optional<int64_t> offset = decide();
  // Only where resuming is what the person chose does a text file go whole instead; a skip
  // stays a skip, and so does a question left without an answer.
  if (text && offset && *offset > 0) {
    questions.Note("\"" + name +
                   "\" is transferred in text mode, which cannot be resumed; it is sent whole");
    return 0;
  }
  return offset;
}

}  // namespace pelmar
