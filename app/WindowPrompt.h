#pragma once
// The window's answer to the scan's prompts: questions in the program's own
// message box, notices in a plain system box without owner.
#include "state/Prompt.h"

int WindowPrompt(PromptKind kind, const char* text, const char* caption, unsigned int style);
