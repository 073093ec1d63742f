#include "tests/e2e/driver/ScanCommand.h"

#include <memory>

#include "tests/e2e/driver/ControlIds.h"
#include "tests/windows/support/WaitUntil.h"
#include "tests/e2e/driver/Failure.h"
#include "tests/e2e/driver/ModalDialog.h"
#include "tests/e2e/driver/ScanPause.h"

namespace {

const char kStopQuestion[] = "Terminate the Scan now?";

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Both offers to restart (the one at the end of a scan and the one after a
// find in memory) say "restart" or "Restart" somewhere.
bool OffersRestart(const std::string& text) {
  return Contains(text, "restart") || Contains(text, "Restart");
}

// Yes or no on whichever pair of buttons the prompt offers.
int ButtonFor(const ModalDialog& dialog, bool yes) {
  if (!HasButton(dialog, answers::kYes) && HasButton(dialog, answers::kOk) &&
      HasButton(dialog, answers::kCancel))
    return yes ? answers::kOk : answers::kCancel;
  return yes ? answers::kYes : answers::kNo;
}

std::string AnswerName(int id) {
  switch (id) {
    case answers::kYes: return "yes";
    case answers::kNo: return "no";
    case answers::kOk: return "ok";
    case answers::kLoneOk: return "ok";
    case answers::kCancel: return "cancel";
  }
  return std::to_string(id);
}

// Asks the scenario for a picture of the screen as it is now: writes
// PREFIX-NAME.ready and waits until PREFIX-NAME.taken appears.
void WaitForScreenshot(const ScanOptions& options, const char* name, Report& report) {
  if (options.screenshotPrefix.empty()) return;
  const std::string stem = options.screenshotPrefix + "-" + name;
  HANDLE ready = CreateFileA((stem + ".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) throw DriverFailure("cannot ask for the screenshot " + stem);
  CloseHandle(ready);
  Deadline deadline(20000);
  while (GetFileAttributesA((stem + ".taken").c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (deadline.Passed()) throw DriverFailure("no screenshot was taken of " + std::string(name));
    Sleep(20);
  }
  report.Line("screenshot", name);
}

// The button a user would choose, by what the prompt asks.
int ChooseAnswer(const ModalDialog& dialog, const ScanOptions& options) {
  if (Contains(dialog.text, kStopQuestion)) return ButtonFor(dialog, options.stopAnswer == IDYES);
  // Yes to a restart would end every process of the machine, this one too.
  if (OffersRestart(dialog.text)) return ButtonFor(dialog, options.restartAnswer == IDYES);
  // Anything else is a notice: acknowledge it with whatever OK it offers.
  if (HasButton(dialog, answers::kLoneOk)) return answers::kLoneOk;
  return answers::kOk;
}

void AnswerDialog(const ModalDialog& dialog, const ScanOptions& options, Report& report,
                  const Deadline& deadline) {
  report.Line("dialog", dialog.caption + " | " + dialog.text);
  std::string buttons;
  for (int id : dialog.buttonIds) buttons += (buttons.empty() ? "" : " ") + std::to_string(id);
  report.Line("dialog-buttons", buttons);
  if (Contains(dialog.text, kStopQuestion)) WaitForScreenshot(options, "stop-prompt", report);
  int answer = ChooseAnswer(dialog, options);
  report.Line("answer", AnswerName(answer));
  PressDialogButton(dialog.window, answer);
  while (IsWindow(dialog.window) && IsWindowVisible(dialog.window)) {
    if (deadline.Passed()) throw DriverFailure("the prompt \"" + dialog.text + "\" did not close");
    Sleep(10);
  }
}

// Which of CANCEL and OK shows right after a prompt closed: a stop swaps them
// at once, before the walk has noticed it. The prompt hides before the code
// that asked it goes on; a round trip waits until that code is done.
void ReportButtonsAfterAnswer(const AppWindow& app, HWND prompt, Report& report) {
  WaitUntil([prompt] { return !IsWindow(prompt); }, 1000);
  app.RoundTrip();
  report.Line("after-answer", std::string("cancel=") + (app.ControlVisible(ids::kCancel) ? "1" : "0") +
                                  " ok=" + (app.ControlVisible(ids::kOk) ? "1" : "0"));
}

bool ScanHasStarted(const AppWindow& app) {
  return !app.ControlEnabled(ids::kScan) || app.ControlVisible(ids::kSearchLine);
}

// The search line goes only when the run has returned; OK alone also shows
// as soon as a stop is confirmed, while the walk is still unwinding.
bool ScanHasFinished(const AppWindow& app) {
  return app.ControlVisible(ids::kOk) && !app.ControlVisible(ids::kSearchLine);
}

void Interrupt(const AppWindow& app, ScanOptions::Interruption how, Report& report) {
  if (how == ScanOptions::Interruption::EscapeKey) {
    HWND target = app.FocusTarget();
    // Only the key-down: the pump takes it out of the queue before any
    // translation, and the key-up of a real press reaches the prompt instead.
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 1 | (MapVirtualKeyA(VK_ESCAPE, MAPVK_VK_TO_VSC) << 16));
    report.Line("interrupt", "escape");
    return;
  }
  const bool viaX = how == ScanOptions::Interruption::CloseButton;
  const int id = viaX ? ids::kClose : ids::kCancel;
  const char* name = viaX ? "x" : "cancel";
  if (!app.ControlVisible(id) || !app.ControlEnabled(id))
    throw DriverFailure(std::string(name) + " cannot be pressed during the scan");
  PostMessageA(app.Control(id), BM_CLICK, 0, 0);
  report.Line("interrupt", name);
}

void ReportOutcome(const AppWindow& app, Report& report) {
  report.Line("status", app.ControlText(ids::kStatus));
  report.Line("status-frame", app.ControlText(ids::kStatusFrame));
  for (const std::string& line : app.ListLines(ids::kLog)) report.Line("log", line);
}

}  // namespace

void RunScanCommand(const AppWindow& app, const ScanOptions& options, Report& report) {
  // Hooked before SCAN is pressed, so that every change is counted.
  std::unique_ptr<ScanPause> pause;
  if (options.interruption != ScanOptions::Interruption::None)
    pause.reset(new ScanPause(app, options.afterStatusChanges));
  if (!options.startedByCommandLine) {
    if (!app.ControlVisible(ids::kScan) || !app.ControlEnabled(ids::kScan))
      throw DriverFailure("SCAN cannot be pressed: visible=" +
                          std::to_string(app.ControlVisible(ids::kScan)) +
                          " enabled=" + std::to_string(app.ControlEnabled(ids::kScan)));
    PostMessageA(app.Control(ids::kScan), BM_CLICK, 0, 0);
  }
  Deadline deadline(options.timeoutMs);
  while (!ScanHasStarted(app)) {
    if (!app.Exists()) throw DriverFailure("the window closed when SCAN was pressed");
    if (deadline.Passed()) throw DriverFailure("no scan started");
    Sleep(5);
  }

  bool interrupted = false;
  long statusChanges = 0;
  std::string lastStatus = app.ControlText(ids::kStatus);
  for (;;) {
    if (!app.Exists()) {
      if (!options.mayClose) throw DriverFailure("the window closed during the scan");
      report.Line("window-closed-during-scan", "1");
      return;
    }
    ModalDialog dialog = FindModalDialog(app.ProcessId(), app.Handle());
    if (dialog.window) {
      AnswerDialog(dialog, options, report, deadline);
      if (Contains(dialog.text, kStopQuestion)) ReportButtonsAfterAnswer(app, dialog.window, report);
      continue;
    }
    std::string status = app.ControlText(ids::kStatus);
    if (status != lastStatus) {
      ++statusChanges;
      lastStatus = status;
    }
    // The program waits at the chosen change: the interruption goes into
    // its queue before the walk takes its next entry.
    if (pause && !interrupted && pause->Paused()) {
      WaitForScreenshot(options, "mid-scan", report);
      Interrupt(app, options.interruption, report);
      report.Line("interrupt-after", std::to_string(pause->Seen()) + " status changes");
      pause->GoOn();
      interrupted = true;
      continue;
    }
    // The window shows OK without the search line once the run has
    // returned; the round trip lets the rest of that handler go on, and a
    // prompt it raised on the way (the restart offer) is answered first.
    if (ScanHasFinished(app) && app.RoundTrip() &&
        !FindModalDialog(app.ProcessId(), app.Handle()).window) {
      if (pause && !interrupted)
        throw DriverFailure("the scan ended before its status line changed " +
                            std::to_string(options.afterStatusChanges) + " times (" +
                            std::to_string(pause->Seen()) + " changes)");
      break;
    }
    if (deadline.Passed()) {
      ReportOutcome(app, report);
      throw DriverFailure("the scan did not finish within " +
                          std::to_string(options.timeoutMs / 1000) + " s");
    }
    Sleep(1);
  }
  report.Line("status-changes-seen", std::to_string(statusChanges));
  ReportOutcome(app, report);
}
