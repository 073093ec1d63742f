#include "app/AdministratorsOnly.h"

#include <utility>

#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"

namespace {

// A SID with up to two sub-authorities, laid out as the system reads one.
struct WellKnownSid {
  BYTE revision;
  BYTE subAuthorityCount;
  SID_IDENTIFIER_AUTHORITY authority;
  DWORD subAuthority[2];
};

WellKnownSid administrators = {SID_REVISION, 2, {SECURITY_NT_AUTHORITY},
                               {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
WellKnownSid localSystem = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID, 0}};
WellKnownSid users = {SID_REVISION, 2, {SECURITY_NT_AUTHORITY},
                      {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}};

struct SecurityFunctions {
  SystemFunction<BOOL(WINAPI*)(PACL, DWORD, DWORD)> initializeAcl{"advapi32.dll", "InitializeAcl"};
  SystemFunction<BOOL(WINAPI*)(PACL, DWORD, DWORD, PSID)> addAllowed{"advapi32.dll", "AddAccessAllowedAce"};
  SystemFunction<BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD)> initializeDescriptor{"advapi32.dll",
                                                                          "InitializeSecurityDescriptor"};
  SystemFunction<BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL)> setDacl{"advapi32.dll", "SetSecurityDescriptorDacl"};
  SystemFunction<BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, PSID, BOOL)> setOwner{"advapi32.dll", "SetSecurityDescriptorOwner"};
  // Windows 2000 and later: without it the list may take on its folder's inherited entries.
  SystemFunction<BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL)> setControl{
      "advapi32.dll", "SetSecurityDescriptorControl"};
  SystemFunction<DWORD(WINAPI*)(PSID)> lengthSid{"advapi32.dll", "GetLengthSid"};
  SystemFunction<BOOL(WINAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD)> getObjectSecurity{
      "advapi32.dll", "GetKernelObjectSecurity"};
  SystemFunction<BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, PSID*, LPBOOL)> getOwner{"advapi32.dll", "GetSecurityDescriptorOwner"};
  SystemFunction<BOOL(WINAPI*)(PSID, PSID)> equalSid{"advapi32.dll", "EqualSid"};

  bool Complete() const {
    return initializeAcl && addAllowed && initializeDescriptor && setDacl && setOwner && lengthSid &&
           getObjectSecurity && getOwner && equalSid;
  }
};

const SecurityFunctions security{};

const SecurityFunctions& Security() { return security; }

ObjectOwner SystemObjectOwner(HANDLE object) {
  const SecurityFunctions& f = Security();
  if (!f.Complete() || !object) return ObjectOwner::Unknown;
  DWORD needed = 0;
  f.getObjectSecurity(object, OWNER_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0) return ObjectOwner::Unknown;
  std::vector<BYTE> descriptor(needed);
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!f.getObjectSecurity(object, OWNER_SECURITY_INFORMATION, descriptor.data(), needed, &needed) ||
      !f.getOwner(descriptor.data(), &owner, &defaulted) || !owner)
    return ObjectOwner::Unknown;
  return f.equalSid(owner, AdministratorsSid()) || f.equalSid(owner, SystemSid())
             ? ObjectOwner::AdministratorsOrSystem
             : ObjectOwner::SomeoneElse;
}

ObjectOwnerFunction objectOwner = SystemObjectOwner;

}  // namespace

PSID AdministratorsSid() { return &administrators; }
PSID SystemSid() { return &localSystem; }

AdministratorsOnly::AdministratorsOnly(DWORD readAccess) : readAccess_(readAccess) {
  built_ = GetOsFamily() == OS_WINNT && Build(true);
}

SECURITY_ATTRIBUTES* AdministratorsOnly::AttributesWithoutOwner() {
  if (!built_ || !Build(false)) return nullptr;
  return &attributes_;
}

bool AdministratorsOnly::Build(bool withOwner) {
  const SecurityFunctions& f = Security();
  if (!f.Complete()) return false;
  PSID granted[] = {AdministratorsSid(), SystemSid(), &users};
  const int grantedCount = readAccess_ ? 3 : 2;
  DWORD size = sizeof(ACL);
  for (int i = 0; i < grantedCount; ++i)
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + f.lengthSid(granted[i]);
  acl_.assign(size, 0);
  PACL acl = reinterpret_cast<PACL>(acl_.data());
  if (!f.initializeAcl(acl, size, ACL_REVISION)) return false;
  for (int i = 0; i < grantedCount; ++i) {
    if (!f.addAllowed(acl, ACL_REVISION, i < 2 ? GENERIC_ALL : readAccess_, granted[i])) return false;
  }
  descriptor_ = SECURITY_DESCRIPTOR();
  if (!f.initializeDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !f.setDacl(&descriptor_, TRUE, acl, FALSE))
    return false;
  if (withOwner && !f.setOwner(&descriptor_, AdministratorsSid(), FALSE)) return false;
  if (f.setControl) f.setControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  return true;
}

ObjectOwner OwnerOfObject(HANDLE object) { return objectOwner(object); }

ObjectOwnerFunction UseObjectOwner(ObjectOwnerFunction function) {
  return std::exchange(objectOwner, function ? function : SystemObjectOwner);
}
