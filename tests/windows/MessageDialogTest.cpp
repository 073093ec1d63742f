// The program's own message box, shown and answered for real.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

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
    for (int i = 0; i < 500 && !box; ++i) {
      Sleep(10);
      box = FindWindowA("#32770", nullptr);
      if (box && GetDlgItem(box, 1086) == nullptr) box = nullptr;
    }
    if (!box) return;
    Sleep(50);
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

}  // namespace
