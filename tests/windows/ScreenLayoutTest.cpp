// The scan window and its prompts as the user sees them at the screen's
// resolution: screen-layout.sh runs this program at 96, 120 and 144 DPI.
// Every text fits its control, measured with the control's own font; no
// text control covers a button; the window and its prompts are centred on
// what the user sees of the window (its region); at 96 DPI every control
// sits where the layout of the dialog templates puts it. Each state is also
// captured as a picture when SCOURIX_SHOTS names a folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/ScanDialog.h"
#include "engine/ScanRun.h"
#include "engine/StatusPath.h"
#include "engine/VariantRecord.h"
#include "res/resource.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"
#include "ui/MessageDialog.h"
#include "ui/UiKit.h"

namespace {

const char kMemoryPrompt[] =
    "W32/Morvo.Worm  found in memory! registry entries created by the worm are removed. You must "
    "restart the computer and run this program to continue scanning.\n\nRestart the computer now?";

const char kLongPath[] =
    "C:\\Program Files\\Common Files\\Microsoft Shared\\Web Server Extensions\\40\\bin\\fp4autl.dll";

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// What the user sees of a window: its region's box on the screen, else its rectangle.
RECT SeenBox(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  RECT box;
  if (GetWindowRgn(window, region) != ERROR && GetRgnBox(region, &box) != NULLREGION) {
    OffsetRect(&box, rect.left, rect.top);
    IntersectRect(&rect, &rect, &box);
  }
  DeleteObject(region);
  return rect;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

bool IsTextControl(HWND child) {
  LONG style = GetWindowLongA(child, GWL_STYLE);
  if (ClassOf(child) == "Static") {
    LONG type = style & SS_TYPEMASK;
    return type != SS_BITMAP && type != SS_ICON && type != SS_ENHMETAFILE && !TextOf(child).empty();
  }
  return ClassOf(child) == "Button" && (style & BS_TYPEMASK) == BS_GROUPBOX && !TextOf(child).empty();
}

bool IsButton(HWND child) {
  return ClassOf(child) == "Button" && (GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX;
}

std::vector<HWND> VisibleChildren(HWND top) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(top, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (IsWindowVisible(child)) children.push_back(child);
  return children;
}

// The extent of a control's text as the control draws it, in its own font:
// statics break lines at word boundaries, group boxes and the title label
// (which paints itself in LabelFont) only at line feeds. A static with an
// ellipsis style shows its text shortened to its width, on one line: that
// shortened text is what is measured.
SIZE TextExtent(HWND control, HFONT font, bool breaksWords, int width) {
  if (!font) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  std::string text = TextOf(control);
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  const LONG ellipsis = ClassOf(control) == "Static" ? style & SS_ELLIPSISMASK : 0;
  HDC dc = GetDC(control);
  HGDIOBJ previous = SelectObject(dc, font);
  if (ellipsis) {
    const UINT shorten = ellipsis == SS_PATHELLIPSIS  ? DT_PATH_ELLIPSIS
                         : ellipsis == SS_ENDELLIPSIS ? DT_END_ELLIPSIS
                                                      : DT_WORD_ELLIPSIS;
    std::vector<char> shown(text.begin(), text.end());
    shown.resize(text.size() + 8, '\0');  // room for the dots
    RECT box = {0, 0, width, 1000};
    HDC scratch = CreateCompatibleDC(dc);  // drawn where nobody sees it
    HGDIOBJ scratchPrevious = SelectObject(scratch, font);
    DrawTextA(scratch, shown.data(), -1, &box, DT_SINGLELINE | DT_NOPREFIX | shorten | DT_MODIFYSTRING);
    SelectObject(scratch, scratchPrevious);
    DeleteDC(scratch);
    text = shown.data();
    breaksWords = false;
  }
  UINT format = DT_CALCRECT | DT_EXPANDTABS;
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  if (breaksWords) format |= DT_WORDBREAK;
  RECT rect = {0, 0, breaksWords ? width : 0, 0};
  DrawTextA(dc, text.c_str(), -1, &rect, format);
  SelectObject(dc, previous);
  ReleaseDC(control, dc);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void ExpectTextsFitAndClearButtons(HWND top, const std::string& what) {
  SCOPED_TRACE(what + " at " + std::to_string(ScreenDpi()) + " DPI");
  std::vector<HWND> children = VisibleChildren(top);
  for (HWND child : children) {
    if (!IsTextControl(child)) continue;
    const int id = GetDlgCtrlID(child);
    const bool titleLabel = top == mainWindow->m_hWnd && id == IDC_TITLE;
    HFONT font = titleLabel ? static_cast<HFONT>(LabelFont)
                            : reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
    RECT client;
    GetClientRect(child, &client);
    const bool groupBox = ClassOf(child) == "Button";
    SIZE extent = TextExtent(child, font, !titleLabel && !groupBox, client.right);
    EXPECT_LE(extent.cx, client.right) << "control " << id << " \"" << TextOf(child) << "\" is too narrow";
    EXPECT_LE(extent.cy, client.bottom) << "control " << id << " \"" << TextOf(child) << "\" is too low";
    if (groupBox) continue;  // a frame holds its controls; its caption is measured above
    RECT text, button, overlap;
    GetWindowRect(child, &text);
    for (HWND other : children) {
      if (!IsButton(other)) continue;
      GetWindowRect(other, &button);
      EXPECT_FALSE(IntersectRect(&overlap, &text, &button))
          << "control " << id << " covers button " << GetDlgCtrlID(other);
    }
  }
}

void ExpectCentredOn(const RECT& box, const RECT& area, const std::string& what) {
  EXPECT_LE(std::abs((box.left + box.right) - (area.left + area.right)), 2) << what;
  EXPECT_LE(std::abs((box.top + box.bottom) - (area.top + area.bottom)), 2) << what;
}

// Every child's rectangle relative to the window's top-left corner, by id.
std::map<int, RECT> Layout(HWND top) {
  RECT origin;
  GetWindowRect(top, &origin);
  std::map<int, RECT> layout;
  layout[0] = {0, 0, origin.right - origin.left, origin.bottom - origin.top};
  for (HWND child = GetWindow(top, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect;
    GetWindowRect(child, &rect);
    OffsetRect(&rect, -origin.left, -origin.top);
    layout[GetDlgCtrlID(child)] = rect;
  }
  return layout;
}

// The 96-DPI layouts, as the templates and their scaling give them: id 0 is
// the window itself. Buttons have already taken their pictures' size.
const std::map<int, RECT> kScanWindowAt96 = {
    {0, {0, 0, 600, 462}},     {2, {220, 286, 312, 310}},    {1034, {28, 179, 502, 272}},
    {1052, {19, 65, 199, 98}},   {1053, {326, 65, 506, 98}},   {1054, {499, 5, 520, 26}},
    {1055, {30, 189, 499, 271}}, {1064, {28, 131, 502, 178}},  {1065, {32, 150, 486, 168}},
    {1068, {54, 41, 473, 59}},   {1070, {220, 286, 312, 310}}, {1072, {11, 166, 513, 184}},
    {1074, {16, 114, 515, 137}}, {1075, {11, 220, 513, 235}},  {1076, {28, 113, 489, 131}},
    {1077, {106, 215, 419, 258}}, {1080, {133, 286, 377, 314}}, {1085, {477, 281, 515, 317}},
};
const std::map<int, RECT> kStopPromptAt96 = {
    {0, {0, 0, 345, 120}},  {1, {54, 77, 146, 101}},   {2, {191, 77, 283, 101}},
    {3, {122, 77, 214, 101}}, {6, {54, 77, 146, 101}},   {7, {187, 77, 279, 101}},
    {1085, {29, 22, 73, 61}}, {1086, {92, 27, 340, 65}},
};
const std::map<int, RECT> kMemoryPromptAt96 = {
    {0, {0, 0, 420, 162}},    {1, {91, 119, 183, 143}},  {2, {228, 119, 320, 143}},
    {3, {159, 119, 251, 143}}, {6, {91, 119, 183, 143}},  {7, {224, 119, 316, 143}},
    {1085, {32, 22, 76, 61}},  {1086, {92, 27, 415, 107}},
};

void ExpectLayoutAt96(HWND top, const std::map<int, RECT>& expected, const std::string& what) {
  std::map<int, RECT> layout = Layout(top);
  if (getenv("SCOURIX_PRINT_LAYOUT")) {
    printf("%s:\n", what.c_str());
    for (const auto& [id, r] : layout) printf("    {%d, {%ld, %ld, %ld, %ld}},\n", id, r.left, r.top, r.right, r.bottom);
  }
  if (ScreenDpi() != 96) return;
  for (const auto& [id, rect] : expected) {
    ASSERT_TRUE(layout.count(id)) << what << ": no control " << id;
    const RECT& seen = layout[id];
    EXPECT_TRUE(EqualRect(&seen, &rect)) << what << ": control " << id << " at (" << seen.left << ", " << seen.top
                                         << ")-(" << seen.right << ", " << seen.bottom << ")";
  }
}

// A picture of the screen's part `area` as a 24-bit BMP in SCOURIX_SHOTS.
void Capture(RECT area, const std::string& name) {
  const char* folder = getenv("SCOURIX_SHOTS");
  if (!folder || !*folder) return;
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  IntersectRect(&area, &area, &screen);
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screenDc = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screenDc);
  HBITMAP bitmap = CreateCompatibleBitmap(screenDc, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screenDc, area.left, area.top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<size_t>(stride) * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screenDc);
  BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof header + pixels.size()), 0, 0,
                           sizeof file + sizeof header};
  std::ofstream out(std::string(folder) + "\\dpi-" + std::to_string(ScreenDpi()) + "-" + name + ".bmp",
                    std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  EXPECT_TRUE(out.good()) << "the picture " << name << " was not written";
}

RECT Union(HWND a, HWND b) {
  RECT first = SeenBox(a), second, both;
  GetWindowRect(b, &second);
  UnionRect(&both, &first, &second);
  return both;
}

// The prompt of this thread that is up now: a visible dialog with the message text control.
HWND ShownPrompt() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM result) {
        if (IsWindowVisible(window) && GetDlgItem(window, IDC_MESSAGE_TEXT) && ClassOf(window) == "#32770") {
          *reinterpret_cast<HWND*>(result) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

void ExpectPrompt(HWND prompt, const std::map<int, RECT>& at96, const std::string& name) {
  HWND window = mainWindow->m_hWnd;
  ExpectTextsFitAndClearButtons(window, name + " (the window behind)");
  ExpectTextsFitAndClearButtons(prompt, name);
  RECT box;
  GetWindowRect(prompt, &box);
  ExpectCentredOn(box, SeenBox(window), name + " is not centred on the window's region");
  ExpectLayoutAt96(prompt, at96, name);
}

void ExpectWindow(const std::string& name) {
  HWND window = mainWindow->m_hWnd;
  ExpectTextsFitAndClearButtons(window, name);
  ExpectLayoutAt96(window, kScanWindowAt96, name);
}

// The user at the window: one step per tick of a thread timer, which the
// window's modal loop, the scan's pumping and the prompts' loops all
// dispatch. A step that opens a prompt is re-entered from the prompt's loop.
// Each state is checked on one tick and captured on the next: Wine copies
// what a window drew to the X screen while its loop is idle in between.
enum class Step { Idle, Scanning, StopPrompt, MemoryPrompt, ShowMemoryPrompt, Finishing, Done };
struct User {
  Step step = Step::Idle;
  DWORD deadline = 0;
  bool scanEndedEarly = false;
  bool checked = false;  // the current state is checked and waits for its picture
} user;

// True on the tick after the one that checked the state.
bool ReadyForPicture(bool& checked) {
  checked = !checked;
  return !checked;
}

void CALLBACK Act(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND window = mainWindow ? mainWindow->m_hWnd : nullptr;
  if (GetTickCount() > user.deadline) {
    KillTimer(nullptr, timer);
    ADD_FAILURE() << "the window did not reach the end; stuck at step " << static_cast<int>(user.step);
    if (HWND prompt = ShownPrompt()) PostMessageA(prompt, WM_COMMAND, IDCANCEL, 0);
    if (window) EndDialog(window, IDABORT);
    return;
  }
  if (!window || !IsWindowVisible(window)) return;
  switch (user.step) {
    case Step::Idle: {
      if (!ReadyForPicture(user.checked)) {
        RECT workArea;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
        ExpectCentredOn(SeenBox(window), workArea, "the window is not centred on the screen by its region");
        ExpectWindow("idle");
        return;
      }
      Capture(SeenBox(window), "idle");
      user.step = Step::Scanning;
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_SCAN, BN_CLICKED), 0);
      return;
    }
    case Step::Scanning:
      // The walk asks to stop itself (AskToStopFromTheWalk).
      if (!scanState.scanRunning && scanState.scanFinished) {
        user.scanEndedEarly = true;
        user.step = Step::ShowMemoryPrompt;
      }
      return;
    case Step::StopPrompt:
    case Step::MemoryPrompt: {
      HWND prompt = ShownPrompt();
      if (!prompt) return;
      const bool stop = user.step == Step::StopPrompt;
      const char* name = stop ? "stop-prompt" : "memory-prompt";
      if (!ReadyForPicture(user.checked)) {
        if (stop) {
          // The widest status line the walk gives: a path shortened to 60 characters.
          char status[260];
          ShortenPathForStatus(kLongPath, status, 60);
          ReportStatus(status);
        }
        ExpectPrompt(prompt, stop ? kStopPromptAt96 : kMemoryPromptAt96, name);
        return;
      }
      Capture(Union(window, prompt), name);
      user.step = stop ? Step::ShowMemoryPrompt : Step::Finishing;
      PostMessageA(prompt, WM_COMMAND, MAKEWPARAM(stop ? IDNO : IDCANCEL, BN_CLICKED), 0);
      return;
    }
    case Step::ShowMemoryPrompt:
      if (ShownPrompt()) return;
      // The memory scan's prompt, asked here over the running scan.
      user.step = Step::MemoryPrompt;
      EXPECT_EQ(ShowMessageDialog(kMemoryPrompt, "Scourix Ver 1.0", MB_OKCANCEL | MB_ICONINFORMATION), IDCANCEL);
      return;
    case Step::Finishing:
      if (scanState.scanRunning || ShownPrompt() || !IsWindowVisible(GetDlgItem(window, IDC_OK_BUTTON))) return;
      if (!ReadyForPicture(user.checked)) {
        ExpectWindow("finished");
        return;
      }
      Capture(SeenBox(window), "finished");
      user.step = Step::Done;
      KillTimer(nullptr, timer);
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_OK_BUTTON, BN_CLICKED), 0);
      return;
    case Step::Done:
      return;
  }
}

// Between the walk's entries: at the first entry of the walk, ask to stop as
// CANCEL would. Asked from inside the walk, the request always finds the
// rest of the walk before it; a tick of the timer might come only after the
// walk's end.
void AskToStopFromTheWalk() {
  HWND window = mainWindow ? mainWindow->m_hWnd : nullptr;
  if (window && user.step == Step::Scanning && scanState.scanRunning && !scanState.memoryPhase &&
      scanState.statusText[0]) {
    user.step = Step::StopPrompt;
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  PumpOneMessage();
}

TEST(ScreenLayout, RunsAtTheResolutionTheScriptSet) {
  const char* wanted = getenv("SCOURIX_TEST_DPI");
  ASSERT_NE(wanted, nullptr) << "screen-layout.sh sets SCOURIX_TEST_DPI";
  EXPECT_EQ(ScreenDpi(), atoi(wanted));
  EXPECT_EQ(largeFontsFlag, 0);  // before the window
}

// Idle, one scan with a find, the stop prompt and the memory scan's prompt
// over it, and the finished scan.
TEST(ScreenLayout, TheWindowAndItsPromptsThroughAScan) {
  WriteFileBytes("C:\\users\\Public\\Downloads\\mae.exe", InertSample(VariantTable[10]));
  user.deadline = GetTickCount() + 150000;
  SetTimer(nullptr, 0, 50, Act);
  BetweenEntriesFunction previousPacing = UseBetweenEntries(AskToStopFromTheWalk);
  ScanDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  UseBetweenEntries(previousPacing);
  EXPECT_FALSE(user.scanEndedEarly) << "the scan ended before the stop prompt could be asked";
  EXPECT_EQ(user.step, Step::Done);
  EXPECT_EQ(largeFontsFlag, ScreenDpi() >= 120 ? 1 : 0);
  EXPECT_EQ(GetFileAttributesA("C:\\users\\Public\\Downloads\\mae.exe"), INVALID_FILE_ATTRIBUTES);
}

// With the full product installed the window shows the product line instead of the link.
TEST(ScreenLayout, TheIdleWindowWithTheProduct) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Halvane\\Keystrel 2000", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char folder[] = "C:\\Program Files\\Keystrel";
  RegSetValueExA(key, "Installed Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof folder);
  RegCloseKey(key);

  struct Checker {
    static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
      static bool checked = false;
      HWND window = mainWindow ? mainWindow->m_hWnd : nullptr;
      if (!window || !IsWindowVisible(window)) return;
      if (!ReadyForPicture(checked)) {
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, IDC_PRODUCT_LINE)));
        ExpectWindow("idle-product");
        return;
      }
      Capture(SeenBox(window), "idle-product");
      KillTimer(nullptr, timer);
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
  };
  SetTimer(nullptr, 0, 50, Checker::Tick);
  ScanDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Halvane\\Keystrel 2000");
}

}  // namespace
