#include "engine/Prompt.h"

#include "ui/WindowPrompt.h"

namespace {
PromptHandler promptHandler = WindowPrompt;
}  // namespace

int AskUser(PromptKind kind, const char* text, const char* caption, unsigned int style) {
  return promptHandler(kind, text, caption, style);
}

void ShowNotice(const char* text, const char* caption) {
  promptHandler(PromptKind::Notice, text, caption, 0);
}

PromptHandler UsePromptHandler(PromptHandler handler) {
  PromptHandler previous = promptHandler;
  promptHandler = handler ? handler : WindowPrompt;
  return previous;
}
