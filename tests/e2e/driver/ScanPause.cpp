#include "tests/e2e/driver/ScanPause.h"

#include "tests/e2e/driver/AppWindow.h"
#include "tests/e2e/driver/Failure.h"

namespace {

std::string BesideThisProgram(const char* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder = path;
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + name;
}

}  // namespace

ScanPause::ScanPause(const AppWindow& app, long pauseAt) {
  mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ScanPausePlan),
                                kScanPausePlanName);
  if (mapping_) plan_ = static_cast<ScanPausePlan*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
  paused_ = CreateEventA(nullptr, TRUE, FALSE, kScanPausedName);
  goOn_ = CreateEventA(nullptr, TRUE, FALSE, kScanGoOnName);
  if (!plan_ || !paused_ || !goOn_) throw DriverFailure("cannot set up the pause of the scan");
  plan_->pauseAt = pauseAt < 1 ? 1 : pauseAt;
  plan_->seen = 0;
  const std::string dll = BesideThisProgram("scourix-scanpause.dll");
  module_ = LoadLibraryA(dll.c_str());
  FARPROC hook = module_ ? GetProcAddress(module_, kScanPauseHookName) : nullptr;
  if (hook)
    hook_ = SetWindowsHookExA(WH_CALLWNDPROC, reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(hook)),
                              module_, app.ThreadId());
  if (!hook_)
    throw DriverFailure("cannot hook the program's thread with " + dll + " (error " +
                        std::to_string(GetLastError()) + ")");
}

ScanPause::~ScanPause() {
  GoOn();
  if (plan_) UnmapViewOfFile(plan_);
  for (HANDLE handle : {mapping_, paused_, goOn_})
    if (handle) CloseHandle(handle);
  if (module_) FreeLibrary(module_);
}

bool ScanPause::Paused() const { return WaitForSingleObject(paused_, 0) == WAIT_OBJECT_0; }

long ScanPause::Seen() const { return plan_->seen; }

void ScanPause::GoOn() {
  if (hook_) UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
  if (goOn_) SetEvent(goOn_);
}
