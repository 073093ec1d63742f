#pragma once
// The engine's only way to the window: format into the shared buffers and send
// (not post) a message, so the window has handled each report before the
// engine goes on. A report made while no window is set is dropped, but for
// the log line's mirror.
//   log line -> WM_SETREDRAW, status text -> WM_ENABLE, both with wParam 0, lParam 0.

// Formats into scanState.logLine, cut at 499 characters, and sends it. Each
// %s and %c argument has its characters below 0x20 escaped ("\x0D").
void ReportLogLine(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Copies the text into scanState.statusText, cut at 259 characters, and sends it.
void ReportStatus(const char* text);

// Who else reads the log lines: the administrator's run writes each one,
// as the window shows it, to its log file and console. Null: nobody.
using LogLineMirror = void (*)(const char* line);
LogLineMirror UseLogLineMirror(LogLineMirror mirror);

// Whether anyone receives log lines: the window, or the mirror.
bool LogLinesAreRead();

// Sends scanState.statusText as it stands, for a writer that has already put
// the text there (the walk shortens each path straight into it).
void ReportStatusText();
