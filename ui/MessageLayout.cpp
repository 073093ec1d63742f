#include "ui/MessageLayout.h"

MessageMode MessageModeOfStyle(unsigned int style) {
  if (style & 0x01) return MessageMode::OkCancel;
  if (style & 0x04) return MessageMode::YesNo;
  return MessageMode::SingleOk;
}

int MessageIconOfStyle(unsigned int style) {
  if ((style & 0x30) == 0x30) return 154;
  if (style & 0x40) return 152;
  if (style & 0x20) return 153;
  if (style & 0x10) return 155;
  return 154;
}

MessageGrowth MessageGrowthFor(size_t textLength) {
  MessageGrowth growth;
  growth.grow = 10 * static_cast<int>(textLength / 30 + 1);
  growth.widen = static_cast<int>(growth.grow * 1.25);
  growth.lift = growth.widen / 4;
  growth.shift = growth.widen / 2;
  return growth;
}
