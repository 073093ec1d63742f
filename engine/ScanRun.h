#pragma once
// One complete scan: memory phase, the fixed drives C: to Z: (or one folder),
// each drive's Program Files follow-up, the statistics, the final status and
// the restart offer. Always returns 1.
int RunScan();

// Takes at most one message off the thread's queue and handles it, so the
// window stays alive during a scan. The Escape key asks whether to stop;
// WM_QUIT and WM_DESTROY stop the scan. Sets scanState.stopRequested.
void PumpOneMessage();

extern const char kProgramTitle[];  // "Scourix Ver 1.0"
