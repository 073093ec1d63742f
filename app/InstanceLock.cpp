#include "app/InstanceLock.h"

#include <windows.h>

#include "app/AdministratorsOnly.h"
#include "app/RunLog.h"
#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"

namespace {

const char kLockName[] = "Scourix.Worm.Removal";
const wchar_t kNamespaceName[] = L"Scourix";

// Windows 2000 and later keep one namespace per session; "Global\" reaches
// across them, so that a startup script in session 0 and a user's window
// never run together. Older systems have one namespace and refuse the prefix.
std::string GlobalLockName() {
  if (ThisWindows().IsNtAtLeast(5)) return std::string("Global\\") + kLockName;
  return kLockName;
}

struct NamespaceFunctions {
  SystemFunction<HANDLE(WINAPI*)(LPCWSTR, ULONG)> createBoundary{"kernel32.dll", "CreateBoundaryDescriptorW"};
  SystemFunction<BOOL(WINAPI*)(HANDLE*, PSID)> addSid{"kernel32.dll", "AddSIDToBoundaryDescriptor"};
  SystemFunction<void(WINAPI*)(HANDLE)> deleteBoundary{"kernel32.dll", "DeleteBoundaryDescriptor"};
  SystemFunction<HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR)> create{"kernel32.dll",
                                                                                "CreatePrivateNamespaceW"};
  SystemFunction<HANDLE(WINAPI*)(LPVOID, LPCWSTR)> open{"kernel32.dll", "OpenPrivateNamespaceW"};
  SystemFunction<BOOLEAN(WINAPI*)(HANDLE, ULONG)> close{"kernel32.dll", "ClosePrivateNamespace"};
};

const NamespaceFunctions namespaces{};
// Looked up like the namespace calls: the 9x line's kernel32 may not export it.
const SystemFunction<HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR)> createMutexW("kernel32.dll",
                                                                                      "CreateMutexW");

// The namespace bounded by the Administrators group, made or opened; null
// where the system has none or the caller is outside the boundary.
HANDLE AdministratorsNamespace(SECURITY_ATTRIBUTES* attributes) {
  const NamespaceFunctions& f = namespaces;
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
    if (namespaces.close) namespaces.close(namespace_, 0);
  }
}

bool InstanceLock::Acquire() {
  AdministratorsOnly security;
  std::string name = GlobalLockName();
  auto createMutex = createMutexW.Get();
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
