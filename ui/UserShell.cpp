#include "ui/UserShell.h"

#include <windows.h>
// shellapi.h renames ShellExecute to ShellExecuteA; included first, it renames
// IShellDispatch2::ShellExecute in the declaration and in the call alike.
#include <shellapi.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"

namespace {

// SID_STopLevelBrowser, the service of a shell window's own browser.
constexpr GUID kTopLevelBrowser = {0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

// An interface pointer released with the object.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (pointer_) pointer_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  Interface** Receive() { return &pointer_; }
  void** ReceiveVoid() { return reinterpret_cast<void**>(&pointer_); }
  template <typename Other>
  HRESULT QueryInto(ComPtr<Other>& other) const {
    return pointer_->QueryInterface(__uuidof(Other), other.ReceiveVoid());
  }

 private:
  Interface* pointer_ = nullptr;
};

// ole32 and oleaut32, looked up at the first call: the program may import
// neither, since Windows 95 and NT 4 must load it.
const SystemFunction<HRESULT(WINAPI*)(void*)> coInitialize("ole32.dll", "CoInitialize");
const SystemFunction<void(WINAPI*)()> coUninitialize("ole32.dll", "CoUninitialize");
const SystemFunction<HRESULT(WINAPI*)(const CLSID&, IUnknown*, DWORD, const IID&, void**)> coCreateInstance(
    "ole32.dll", "CoCreateInstance");
const SystemFunction<BSTR(WINAPI*)(const OLECHAR*)> sysAllocString("oleaut32.dll", "SysAllocString");
const SystemFunction<void(WINAPI*)(BSTR)> sysFreeString("oleaut32.dll", "SysFreeString");

// COM, initialised on this thread for the object's lifetime.
class ComRuntime {
 public:
  ComRuntime() {
    if (!coInitialize || !coUninitialize || !coCreateInstance || !sysAllocString || !sysFreeString) return;
    const HRESULT result = coInitialize(nullptr);
    // S_FALSE: already initialised in this mode, which still needs its own uninitialise.
    uninitializeAtEnd_ = result == S_OK || result == S_FALSE;
    // Another mode, set by someone else, serves as well.
    ready_ = SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
  }
  ~ComRuntime() {
    if (uninitializeAtEnd_) coUninitialize();
  }
  ComRuntime(const ComRuntime&) = delete;
  ComRuntime& operator=(const ComRuntime&) = delete;

  bool IsReady() const { return ready_; }
  HRESULT CreateInstance(const CLSID& type, DWORD context, const IID& id, void** object) const {
    return coCreateInstance(type, nullptr, context, id, object);
  }
  BSTR AllocString(const wchar_t* text) const { return sysAllocString(text); }
  void FreeString(BSTR text) const { sysFreeString(text); }

 private:
  bool uninitializeAtEnd_ = false;
  bool ready_ = false;
};

// A BSTR of an ANSI text, freed with the object.
class ComString {
 public:
  ComString(const ComRuntime& com, const char* text) : com_(com) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    text_ = com_.AllocString(wide.c_str());
  }
  ~ComString() {
    if (text_) com_.FreeString(text_);
  }
  ComString(const ComString&) = delete;
  ComString& operator=(const ComString&) = delete;
  BSTR Get() const { return text_; }
  // A VARIANT that borrows the string; VariantInit would only set VT_EMPTY.
  VARIANT AsVariant() const {
    VARIANT value = {};
    value.vt = VT_BSTR;
    value.bstrVal = text_;
    return value;
  }

 private:
  const ComRuntime& com_;
  BSTR text_ = nullptr;
};

// The automation object of the desktop's shell: the desktop window's shell
// browser, its view's background object, and that object's application.
bool FindDesktopShell(const ComRuntime& com, ComPtr<IShellDispatch2>& shell) {
  ComPtr<IShellWindows> windows;
  if (FAILED(com.CreateInstance(__uuidof(ShellWindows), CLSCTX_LOCAL_SERVER, __uuidof(IShellWindows),
                                windows.ReceiveVoid())))
    return false;
  VARIANT desktop = {};
  desktop.vt = VT_I4;
  desktop.lVal = CSIDL_DESKTOP;
  VARIANT noRoot = {};
  LONG window = 0;
  ComPtr<IDispatch> found;
  // S_FALSE and no object when there is no desktop window.
  if (windows->FindWindowSW(&desktop, &noRoot, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, found.Receive()) != S_OK ||
      !found)
    return false;
  ComPtr<IServiceProvider> services;
  ComPtr<IShellBrowser> browser;
  ComPtr<IShellView> view;
  ComPtr<IDispatch> background;
  ComPtr<IShellFolderViewDual> folderView;
  ComPtr<IDispatch> application;
  return SUCCEEDED(found.QueryInto(services)) &&
         SUCCEEDED(services->QueryService(kTopLevelBrowser, __uuidof(IShellBrowser), browser.ReceiveVoid())) &&
         SUCCEEDED(browser->QueryActiveShellView(view.Receive())) &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.ReceiveVoid())) &&
         SUCCEEDED(background.QueryInto(folderView)) &&
         SUCCEEDED(folderView->get_Application(application.Receive())) && application &&
         SUCCEEDED(application.QueryInto(shell));
}

}  // namespace

bool OpenThroughDesktopShell(const char* target) {
  ComRuntime com;
  if (!com.IsReady()) return false;
  ComPtr<IShellDispatch2> shell;
  if (!FindDesktopShell(com, shell)) return false;
  ComString file(com, target), none(com, ""), open(com, "open");
  if (!file.Get() || !none.Get() || !open.Get()) return false;
  VARIANT show = {};
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  return SUCCEEDED(shell->ShellExecute(file.Get(), none.AsVariant(), none.AsVariant(), open.AsVariant(), show));
}

void OpenForUser(const char* target) {
  // Before Vista there is no separate elevated token: the shell's is the program's own.
  if (ThisWindows().IsNtAtLeast(6) && OpenThroughDesktopShell(target)) return;
  ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
}
