#pragma once
// System DLLs loaded by their full path in the system folder, never by a bare
// name: an elevated program must not pick up a DLL planted in its own folder
// or in the current one.
#include <windows.h>

#include <atomic>

// The export's address, null where the DLL or the export is missing. The DLL
// is loaded (or found already loaded) from the system folder by its full path
// (GetSystemDirectoryA; under WoW64 the loader maps it to SysWOW64). `final`
// is false when the DLL could not be loaded, so that a later call tries again:
// a first call made while WoW64's file-system redirection is off would
// otherwise be remembered as a missing DLL.
void* FindSystemExport(const char* fileName, const char* exportName, bool& final);

// A function that Windows 95 or NT 4 may lack, reached at run time instead of
// imported: declared once, looked up in its system DLL on first use and kept
// for the run (the DLL stays loaded). Get() is null where the DLL or the
// export is missing. Safe to share with a helper thread: both would find the
// same address.
template <typename Function>
class SystemFunction {
 public:
  constexpr SystemFunction(const char* library, const char* name) : library_(library), name_(name) {}
  SystemFunction(const SystemFunction&) = delete;
  SystemFunction& operator=(const SystemFunction&) = delete;

  Function Get() const {
    if (!known_.load(std::memory_order_acquire)) {
      bool final = false;
      void* address = FindSystemExport(library_, name_, final);
      if (!final) return nullptr;
      address_.store(address, std::memory_order_relaxed);
      known_.store(true, std::memory_order_release);
    }
    return reinterpret_cast<Function>(address_.load(std::memory_order_relaxed));
  }
  explicit operator bool() const { return Get() != nullptr; }
  // Only where Get() is not null.
  template <typename... Arguments>
  auto operator()(Arguments... arguments) const {
    return Get()(arguments...);
  }

 private:
  const char* library_;
  const char* name_;
  mutable std::atomic<bool> known_{false};
  mutable std::atomic<void*> address_{nullptr};
};

// Narrows where later LoadLibrary calls look, once, at program start: the
// system folder alone where kernel32 offers SetDefaultDllDirectories, else at
// least not the current folder (SetDllDirectoryA("")); nothing on systems
// that have neither. Says which took effect.
enum class DllSearch { SystemFolderOnly, NotCurrentFolder, Unchanged };
DllSearch HardenDllSearch();
