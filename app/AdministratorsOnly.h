#pragma once
// What only administrators may change: the instance lock and the default log
// are made with an access list of their own, and an object found in the
// lock's place is judged by its owner. The security functions are looked up
// at run time: the 9x line has no access lists (its advapi32 lacks them or
// fails them), and the newer ones came after NT 4.
#include <windows.h>

#include <vector>

class AdministratorsOnly {
 public:
  // Administrators and SYSTEM get every right; with readers, Users get
  // `readAccess` as well. The owner is Administrators where the caller may
  // name it (any elevated administrator or SYSTEM), else the caller.
  explicit AdministratorsOnly(DWORD readAccess = 0);
  AdministratorsOnly(const AdministratorsOnly&) = delete;
  AdministratorsOnly& operator=(const AdministratorsOnly&) = delete;

  // For CreateMutex and CreateFile; null where no descriptor could be made
  // (the 9x line), so that the object is made as before.
  SECURITY_ATTRIBUTES* Attributes() { return built_ ? &attributes_ : nullptr; }
  // The same, without the owner: for a caller that may not name it.
  SECURITY_ATTRIBUTES* AttributesWithoutOwner();

 private:
  bool Build(bool withOwner);

  DWORD readAccess_;
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool built_ = false;
};

// The well-known groups, as SIDs that live for the whole program.
PSID AdministratorsSid();
PSID SystemSid();

// Who owns a kernel object, as far as trust goes.
enum class ObjectOwner { AdministratorsOrSystem, SomeoneElse, Unknown };
ObjectOwner OwnerOfObject(HANDLE object);

// The call that reads the owner. Wine cannot make an object that another
// account owns, so a test puts its own in place to play one. Null restores
// the system's. Returns the previous one.
using ObjectOwnerFunction = ObjectOwner (*)(HANDLE object);
ObjectOwnerFunction UseObjectOwner(ObjectOwnerFunction function);
