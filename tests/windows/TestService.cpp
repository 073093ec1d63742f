// A minimal own-process service for the service tests. It reports STOP_PENDING
// on a stop request and STOPPED about 1.5 s later, so that a stop is seen
// pending at least once. Started with the argument "stubborn" it stays
// pending for ever, like a worm service that ignores the request.
#include <windows.h>

#include <cstring>

namespace {

SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status;
HANDLE stopRequested;
bool stubborn;

void Report(DWORD state) {
  status.dwCurrentState = state;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    status.dwWaitHint = 5000;
    Report(SERVICE_STOP_PENDING);
    SetEvent(stopRequested);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  statusHandle = RegisterServiceCtrlHandlerExA("", Control, nullptr);
  if (!statusHandle) return;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
  Report(SERVICE_RUNNING);
  WaitForSingleObject(stopRequested, INFINITE);
  if (stubborn) Sleep(INFINITE);
  Sleep(1500);  // a service that takes its time to stop, as real ones do: the stop must wait
  Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  stubborn = argc > 1 && strcmp(argv[1], "stubborn") == 0;
  stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
