#include "state/ScanState.h"

ScanState scanState;
