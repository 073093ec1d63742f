#include "tests/windows/support/DialogAnswerer.h"

#include "app/WindowPrompt.h"

namespace {

struct Search {
  const std::string* caption;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  char className[64] = {};
  char title[256] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (std::string(className) == "#32770" && *search->caption == title) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

constexpr int kSystemBoxTextId = 0xFFFF;  // the system's message box
constexpr int kOwnBoxTextId = 1086;       // the program's own

bool Shows(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE);
}

}  // namespace

DialogAnswerer::DialogAnswerer(const std::string& caption, std::vector<int> answers)
    : previousPrompt_(UsePromptHandler(WindowPrompt)),
      caption_(caption),
      answers_(answers.begin(), answers.end()),
      thread_([this] { Run(); }) {}

DialogAnswerer::~DialogAnswerer() {
  stop_ = true;
  thread_.join();
  UsePromptHandler(previousPrompt_);
}

std::vector<AnsweredDialog> DialogAnswerer::Answered() {
  std::lock_guard<std::mutex> lock(mutex_);
  return answered_;
}

void DialogAnswerer::Run() {
  while (!stop_) {
    Search search{&caption_, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
      Sleep(20);
      continue;
    }
    HWND dialog = search.found;
    char text[1024] = {};
    if (!GetDlgItemTextA(dialog, kSystemBoxTextId, text, sizeof text))
      GetDlgItemTextA(dialog, kOwnBoxTextId, text, sizeof text);
    int answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answered_.push_back({text, Shows(dialog, IDYES) && Shows(dialog, IDNO)});
      answer = answers_.empty() ? IDCANCEL : answers_.front();
      if (!answers_.empty()) answers_.pop_front();
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    while (!stop_ && IsWindow(dialog)) Sleep(10);
  }
}

void PostEscapeKey(HWND window) {
  PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
}
