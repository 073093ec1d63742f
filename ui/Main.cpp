// The program's application object; WinMain runs it.
#include "ui/ScanApp.h"

ScanApp theApp;
