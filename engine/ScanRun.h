#pragma once
// One complete scan: memory phase, the fixed drives C: to Z: (or one folder),
// each drive's Program Files follow-up, the statistics, the final status and
// the restart offer. Always returns 1.
int RunScan();

// Takes at most one message off the thread's queue and handles it, so the
// window stays alive during a scan. The Escape key asks whether to stop;
// WM_QUIT and WM_DESTROY stop the scan. Sets scanState.stopRequested.
void PumpOneMessage();

// What the walk does between entries: the window's run pumps one message
// (PumpOneMessage), so that the window stays alive; a run without a window
// puts a cheaper look for a stop request in its place. Null restores
// pumping; returns the one before.
using BetweenEntriesFunction = void (*)();
BetweenEntriesFunction UseBetweenEntries(BetweenEntriesFunction function);
void BetweenEntries();
