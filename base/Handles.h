#pragma once
// Owners of the kernel, file, search, registry and service handles that the
// program opens: move-only, closed in the destructor on every path out.
#include <windows.h>

template <typename Traits>
class OwnedHandle {
 public:
  using Value = typename Traits::Value;
  OwnedHandle() = default;
  explicit OwnedHandle(Value value) : value_(value) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(OwnedHandle&& other) noexcept : value_(other.Detach()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      value_ = other.Detach();
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  bool IsValid() const { return Traits::IsValid(value_); }
  Value Get() const { return value_; }
  Value* Receive() {
    Close();
    return &value_;
  }
  Value Detach() {
    Value value = value_;
    value_ = Traits::Invalid();
    return value;
  }
  void Close() {
    if (IsValid()) Traits::Close(value_);
    value_ = Traits::Invalid();
  }

 private:
  Value value_ = Traits::Invalid();
};

// Process handles: NULL when an open fails.
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value value) { return value != nullptr && value != INVALID_HANDLE_VALUE; }
  static void Close(Value value) { CloseHandle(value); }
};
using KernelHandle = OwnedHandle<KernelHandleTraits>;

// Snapshot and file handles: INVALID_HANDLE_VALUE when creation fails.
struct SnapshotHandleTraits : KernelHandleTraits {
  static Value Invalid() { return INVALID_HANDLE_VALUE; }
};
using SnapshotHandle = OwnedHandle<SnapshotHandleTraits>;
using FileHandle = OwnedHandle<SnapshotHandleTraits>;

// FindFirstFile searches: INVALID_HANDLE_VALUE when nothing is found.
struct FindHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Value value) { return value != INVALID_HANDLE_VALUE; }
  static void Close(Value value) { FindClose(value); }
};
using FindHandle = OwnedHandle<FindHandleTraits>;

struct RegistryKeyTraits {
  using Value = HKEY;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value value) { return value != nullptr; }
  static void Close(Value value) { RegCloseKey(value); }
};
using RegistryKey = OwnedHandle<RegistryKeyTraits>;

struct ServiceHandleTraits {
  using Value = SC_HANDLE;
  static Value Invalid() { return nullptr; }
  static bool IsValid(Value value) { return value != nullptr; }
  static void Close(Value value) { CloseServiceHandle(value); }
};
using ServiceHandle = OwnedHandle<ServiceHandleTraits>;
