#include "app/LogList.h"

#include "state/ScanState.h"
#include "win/Dc.h"

namespace {
constexpr LRESULT kMaxLinesWhileScanning = 150;
constexpr int kExtentThreshold = 560;
}  // namespace

void AppendLogLine(HWND list) {
  LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  if (count >= kMaxLinesWhileScanning && scanState.scanFinished == 0)
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(scanState.logLine));
  count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  // For one or two lines the index is past the end: nothing is selected.
  SendMessageA(list, LB_SETCURSEL, count > 2 ? count - 1 : count, 0);
  UpdateLogExtent(list);
}

void UpdateLogExtent(HWND list) {
  LONG widest = 0;
  {
    CClientDC dc(list);
    if (!dc.GetSafeHdc()) return;
    char text[kLogLineLength];
    for (LRESULT index = 0; index < SendMessageA(list, LB_GETCOUNT, 0, 0); ++index) {
      // Lines come from logLine, so they fit; anything longer is not measured.
      LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
      if (length < 0 || length >= static_cast<LRESULT>(sizeof text)) continue;
      SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
      SIZE size = {};
      if (GetTextExtentPoint32A(dc.GetSafeHdc(), text, static_cast<int>(length), &size) &&
          size.cx > widest)
        widest = size.cx;
    }
  }
  LRESULT extent = SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0);
  if (extent < widest && widest > kExtentThreshold)
    SendMessageA(list, LB_SETHORIZONTALEXTENT, widest * 3 / 4, 0);
}
