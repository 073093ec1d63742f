#include "engine/ScanState.h"

ScanState scanState;
