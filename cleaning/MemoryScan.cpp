#include "cleaning/MemoryScan.h"

#include "engine/ScanState.h"

// Interim body until process examination lands: the phase opens and closes
// without looking at any process.
void ScanMemory() {
  scanState.memoryPhase = 1;
  scanState.memoryPhase = 0;
}
