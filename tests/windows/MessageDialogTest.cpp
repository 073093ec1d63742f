// The program's own message box, shown and answered for real.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "tests/windows/support/WaitUntil.h"
#include "ui/MessageDialog.h"

namespace {

struct Seen {
  bool yes, no, ok, cancel, singleOk;
  std::string title;
  RECT box;
};

// Shows a box and, from another thread, notes what it shows and answers it
// with a command (or a key).
int ShowAndAnswer(const char* text, const char* caption, unsigned int style, UINT command, Seen& seen,
                  bool byEscape = false) {
  std::thread user([&] {
    HWND box = nullptr;
    // The box is made hidden and shown once it has laid itself out.
    if (!WaitUntil(
            [&] {
              box = FindWindowA("#32770", nullptr);
              return box && GetDlgItem(box, 1086) && IsWindowVisible(box);
            },
            5000))
      return;
    auto shows = [&](int id) { return (GetWindowLongA(GetDlgItem(box, id), GWL_STYLE) & WS_VISIBLE) != 0; };
    seen = {shows(IDYES), shows(IDNO), shows(IDOK), shows(IDCANCEL), shows(3), "", {}};
    char title[128] = {};
    GetWindowTextA(box, title, sizeof title);
    seen.title = title;
    GetWindowRect(box, &seen.box);
    if (byEscape)
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    else
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
  });
  int result = ShowMessageDialog(text, caption, style);
  user.join();
  return result;
}

TEST(MessageDialog, YesNoShowsTwoButtonsAndCancellingMeansNo) {
  Seen seen{};
  EXPECT_EQ(ShowAndAnswer("Terminate the Scan now?", "Scourix Ver 1.0", 36, IDYES, seen), IDYES);
  EXPECT_TRUE(seen.yes && seen.no);
  EXPECT_FALSE(seen.ok || seen.cancel || seen.singleOk);
  EXPECT_EQ(seen.title, "Scourix Ver 1.0");
  EXPECT_EQ(ShowAndAnswer("Terminate the Scan now?", "DialogBoxTitle", 36, IDNO, seen), IDNO);
  EXPECT_EQ(seen.title, "DialogBoxTitle");
  EXPECT_EQ(ShowAndAnswer("Terminate the Scan now?", "x", 36, 0, seen, true), IDNO);
}

TEST(MessageDialog, OkCancelAndSingleOk) {
  Seen seen{};
  EXPECT_EQ(ShowAndAnswer("found in memory", "Scourix Ver 1.0", 65, IDOK, seen), IDOK);
  EXPECT_TRUE(seen.ok && seen.cancel);
  EXPECT_FALSE(seen.yes || seen.singleOk);
  EXPECT_EQ(ShowAndAnswer("found in memory", "Scourix Ver 1.0", 65, 0, seen, true), IDCANCEL);
  EXPECT_EQ(ShowAndAnswer("notice", "", 0, 3, seen), IDOK);
  EXPECT_TRUE(seen.singleOk);
  EXPECT_FALSE(seen.ok || seen.yes);
  EXPECT_EQ(seen.title, "Scourix Ver 1.0");  // an empty caption gives the program's title
  EXPECT_EQ(ShowAndAnswer("notice", nullptr, 0, 0, seen, true), IDCANCEL);
  // Yes/No/Cancel has bit 0x01 too, and that is tested first.
  EXPECT_EQ(ShowAndAnswer("question", "t", MB_YESNOCANCEL, IDCANCEL, seen), IDCANCEL);
  EXPECT_TRUE(seen.ok && seen.cancel);
  EXPECT_FALSE(seen.yes || seen.no || seen.singleOk);
}

TEST(MessageDialog, GrowsWithItsText) {
  Seen shortText{}, longText{};
  ShowAndAnswer(std::string(23, 'a').c_str(), "t", 36, IDNO, shortText);
  ShowAndAnswer(std::string(95, 'a').c_str(), "t", 36, IDNO, longText);
  // 12 and 50 pixels wider, 7 and 28 pixels taller than the template.
  EXPECT_EQ((longText.box.right - longText.box.left) - (shortText.box.right - shortText.box.left), 38);
  EXPECT_EQ((longText.box.bottom - longText.box.top) - (shortText.box.bottom - shortText.box.top), 21);
  // Without the scan window the box stays at the screen's corner.
  EXPECT_EQ(shortText.box.left, 0);
  EXPECT_EQ(shortText.box.top, 0);
}

// Wine has no GetGuiResources. It does take a GDI handle's low word alone
// as the handle of whatever object holds that slot, so the live objects can
// be counted slot by slot.
unsigned GdiObjectsBySlot() {
  unsigned live = 0;
  for (UINT_PTR slot = 1; slot <= 0xFFFF; ++slot)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++live;
  return live;
}

unsigned GdiObjectsHeld() {
  DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  return counted ? counted : GdiObjectsBySlot();
}

// What the paint test saw, filled on the box's own thread.
struct PaintCounts {
  unsigned afterFivePaints = 0, afterFiftyMore = 0, afterThreeKept = 0;
  COLORREF iconPixel = CLR_INVALID;
} paintCounts;

// Runs inside the box's modal loop, so that every paint is done and nothing
// else draws while the objects are counted.
void CALLBACK PaintAndCount(HWND, UINT, UINT_PTR timer, DWORD) {
  // The modal loop shows the box once its queue first runs empty: wait for that.
  static int tries = 0;
  HWND box = FindWindowA("#32770", nullptr);
  if ((!box || !IsWindowVisible(box)) && ++tries < 50) return;
  KillTimer(nullptr, timer);
  if (!box || !GetDlgItem(box, 1086)) return;
  auto paint = [&] { RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); };
  for (int i = 0; i < 5; ++i) paint();  // device contexts that the system caches come first
  paintCounts.afterFivePaints = GdiObjectsHeld();
  for (int i = 0; i < 50; ++i) paint();
  paintCounts.afterFiftyMore = GdiObjectsHeld();
  // The measure itself sees objects that are kept.
  for (int i = 0; i < 3; ++i) CreateSolidBrush(RGB(1, 2, 3));
  paintCounts.afterThreeKept = GdiObjectsHeld();
  HWND icon = GetDlgItem(box, 1085);
  HDC dc = GetDC(icon);
  paintCounts.iconPixel = GetPixel(dc, 10, 17);  // inside the information icon's white bubble
  ReleaseDC(icon, dc);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// The icon is loaded, drawn and let go on every paint: fifty paints leave
// the process holding no more GDI objects than five did.
TEST(MessageDialog, RepeatedPaintsHoldNoMoreGdiObjects) {
  SetTimer(nullptr, 0, 100, PaintAndCount);
  EXPECT_EQ(ShowMessageDialog("found in memory", "Scourix Ver 1.0", 65), IDOK);
  ASSERT_NE(paintCounts.afterFivePaints, 0u) << "the box never showed";
  EXPECT_EQ(paintCounts.iconPixel, RGB(255, 255, 255)) << "the icon was not painted";
  EXPECT_EQ(paintCounts.afterFiftyMore, paintCounts.afterFivePaints);
  EXPECT_EQ(paintCounts.afterThreeKept, paintCounts.afterFiftyMore + 3);
}

}  // namespace
