// The program's application object; WinMain runs it.
#include "app/ScanApp.h"

ScanApp theApp;
