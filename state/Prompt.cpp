#include "state/Prompt.h"

#include <utility>

namespace {

// Until the program installs its answerer, nobody is there to answer: every
// question is one that could not be asked, and a notice goes unseen.
int NobodyAnswers(PromptKind, const char*, const char*, unsigned int) { return -1; }

PromptHandler promptHandler = NobodyAnswers;

}  // namespace

int AskUser(PromptKind kind, const char* text, const char* caption, unsigned int style) {
  return promptHandler(kind, text, caption, style);
}

void ShowNotice(const char* text, const char* caption) {
  promptHandler(PromptKind::Notice, text, caption, 0);
}

PromptHandler UsePromptHandler(PromptHandler handler) {
  return std::exchange(promptHandler, handler ? handler : NobodyAnswers);
}
