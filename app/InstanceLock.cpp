#include "app/InstanceLock.h"

#include <windows.h>

#include "app/AdministratorsOnly.h"
#include "app/RunLog.h"
#include "cleaning/SystemLibrary.h"

namespace {

const char kLockName[] = "Scourix.Worm.Removal";
const wchar_t kNamespaceName[] = L"Scourix";

// Windows 2000 and later keep one namespace per session; "Global\" reaches
// across them, so that a startup script in session 0 and a user's window
// never run together. Older systems have one namespace and refuse the prefix.
std::string GlobalLockName() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
      version.dwMajorVersion >= 5)
    return std::string("Global\\") + kLockName;
  return kLockName;
}

struct NamespaceFunctions {
  HANDLE(WINAPI* createBoundary)(LPCWSTR, ULONG);
  BOOL(WINAPI* addSid)(HANDLE*, PSID);
  void(WINAPI* deleteBoundary)(HANDLE);
  HANDLE(WINAPI* create)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
  HANDLE(WINAPI* open)(LPVOID, LPCWSTR);
  BOOLEAN(WINAPI* close)(HANDLE, ULONG);
};

NamespaceFunctions Namespaces() {
  NamespaceFunctions f = {};
  const char* dll = "kernel32.dll";
  f.createBoundary = SystemFunction<decltype(f.createBoundary)>(dll, "CreateBoundaryDescriptorW");
  f.addSid = SystemFunction<decltype(f.addSid)>(dll, "AddSIDToBoundaryDescriptor");
  f.deleteBoundary = SystemFunction<decltype(f.deleteBoundary)>(dll, "DeleteBoundaryDescriptor");
  f.create = SystemFunction<decltype(f.create)>(dll, "CreatePrivateNamespaceW");
  f.open = SystemFunction<decltype(f.open)>(dll, "OpenPrivateNamespaceW");
  f.close = SystemFunction<decltype(f.close)>(dll, "ClosePrivateNamespace");
  return f;
}

// The namespace bounded by the Administrators group, made or opened; null
// where the system has none or the caller is outside the boundary.
HANDLE AdministratorsNamespace(SECURITY_ATTRIBUTES* attributes) {
  const NamespaceFunctions f = Namespaces();
  if (!f.createBoundary || !f.addSid || !f.deleteBoundary || !f.create || !f.open) return nullptr;
  HANDLE boundary = f.createBoundary(L"Scourix.Administrators", 0);
  if (!boundary) return nullptr;
  HANDLE space = nullptr;
  if (f.addSid(&boundary, AdministratorsSid())) {
    space = f.create(attributes, boundary, kNamespaceName);
    if (!space && GetLastError() == ERROR_ALREADY_EXISTS) space = f.open(boundary, kNamespaceName);
  }
  f.deleteBoundary(boundary);
  return space;
}

}  // namespace

InstanceLock::~InstanceLock() {
  mutex_.Close();
  if (namespace_) {
    if (auto close = Namespaces().close) close(namespace_, 0);
  }
}

bool InstanceLock::Acquire() {
  AdministratorsOnly security;
  std::string name = GlobalLockName();
  // Looked up like the namespace calls: the 9x line's kernel32 may not export it.
  using CreateMutexWFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR);
  auto createMutex = SystemFunction<CreateMutexWFunction>("kernel32.dll", "CreateMutexW");
  namespace_ = createMutex ? AdministratorsNamespace(security.Attributes()) : nullptr;
  if (namespace_) {
    std::wstring wide = std::wstring(kNamespaceName) + L"\\" + std::wstring(kLockName, kLockName + sizeof kLockName - 1);
    *mutex_.Receive() = createMutex(security.Attributes(), FALSE, wide.c_str());
    if (!mutex_.IsValid() && GetLastError() == ERROR_INVALID_OWNER)
      *mutex_.Receive() = createMutex(security.AttributesWithoutOwner(), FALSE, wide.c_str());
    name = "Scourix\\" + std::string(kLockName);
  } else {
    *mutex_.Receive() = CreateMutexA(security.Attributes(), FALSE, name.c_str());
    // A caller that may not name Administrators as owner (a standard user's
    // window) makes the lock as its own.
    if (!mutex_.IsValid() && GetLastError() == ERROR_INVALID_OWNER)
      *mutex_.Receive() = CreateMutexA(security.AttributesWithoutOwner(), FALSE, name.c_str());
  }
  const DWORD error = GetLastError();
  if (!mutex_.IsValid()) {
    // A name taken with an access list that shuts administrators out.
    notice_ = "The instance lock " + name + " could not be taken (" + SystemMessage(error) +
              "): the run goes on without it";
    return true;
  }
  if (error != ERROR_ALREADY_EXISTS) return true;
  // An object of our name that only a standard user can have made.
  if (OwnerOfObject(mutex_.Get()) == ObjectOwner::SomeoneElse) {
    mutex_.Close();
    notice_ = "The instance lock " + name +
              " was made by an account that is not an administrator: it is ignored, and the run goes on";
    return true;
  }
  return false;
}
