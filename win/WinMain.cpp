#include "base/SystemLibrary.h"
#include "win/WinApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything can load a DLL by its bare name.
  HardenDllSearch();
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  app->m_hInstance = instance;
  if (app->InitInstance()) {
    // A program that keeps running after InitInstance needs a message loop.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return app->ExitInstance();
}
