#pragma once
// Examines the executable file of every running process before the drives
// are walked. Sets scanState.memoryPhase for its own duration and returns with
// it cleared, or ends the program itself.
void ScanMemory();
