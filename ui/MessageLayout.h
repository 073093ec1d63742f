#pragma once
// What the message box makes of its style bits and its text. Portable.
#include <cstddef>

enum class MessageMode { SingleOk, OkCancel, YesNo };

// Buttons by the style's low bits: MB_OKCANCEL (0x01) first, then MB_YESNO
// (0x04); anything else a single OK.
MessageMode MessageModeOfStyle(unsigned int style);

// The icon bitmap (152 information, 153 question, 154 warning, 155 error);
// warning when no icon bit matches.
int MessageIconOfStyle(unsigned int style);

// How much the box grows with its text: 10 pixels of height per started 30
// bytes, a quarter more in width; the buttons move right by half the widening.
struct MessageGrowth {
  int grow;
  int widen;
  int lift;
  int shift;
};
MessageGrowth MessageGrowthFor(size_t textLength);
