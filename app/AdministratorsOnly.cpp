#include "app/AdministratorsOnly.h"

#include "cleaning/OsVersion.h"
#include "cleaning/SystemLibrary.h"

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
  BOOL(WINAPI* initializeAcl)(PACL, DWORD, DWORD);
  BOOL(WINAPI* addAllowed)(PACL, DWORD, DWORD, PSID);
  BOOL(WINAPI* initializeDescriptor)(PSECURITY_DESCRIPTOR, DWORD);
  BOOL(WINAPI* setDacl)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
  BOOL(WINAPI* setOwner)(PSECURITY_DESCRIPTOR, PSID, BOOL);
  BOOL(WINAPI* setControl)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
  DWORD(WINAPI* lengthSid)(PSID);
  BOOL(WINAPI* getObjectSecurity)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
  BOOL(WINAPI* getOwner)(PSECURITY_DESCRIPTOR, PSID*, LPBOOL);
  BOOL(WINAPI* equalSid)(PSID, PSID);
  bool complete;
};

const SecurityFunctions& Security() {
  static SecurityFunctions functions = [] {
    SecurityFunctions f = {};
    const char* dll = "advapi32.dll";
    using InitializeAcl = decltype(f.initializeAcl);
    f.initializeAcl = SystemFunction<InitializeAcl>(dll, "InitializeAcl");
    f.addAllowed = SystemFunction<decltype(f.addAllowed)>(dll, "AddAccessAllowedAce");
    f.initializeDescriptor = SystemFunction<decltype(f.initializeDescriptor)>(dll, "InitializeSecurityDescriptor");
    f.setDacl = SystemFunction<decltype(f.setDacl)>(dll, "SetSecurityDescriptorDacl");
    f.setOwner = SystemFunction<decltype(f.setOwner)>(dll, "SetSecurityDescriptorOwner");
    // Windows 2000 and later: without it the list may take on its folder's inherited entries.
    f.setControl = SystemFunction<decltype(f.setControl)>(dll, "SetSecurityDescriptorControl");
    f.lengthSid = SystemFunction<decltype(f.lengthSid)>(dll, "GetLengthSid");
    f.getObjectSecurity = SystemFunction<decltype(f.getObjectSecurity)>(dll, "GetKernelObjectSecurity");
    f.getOwner = SystemFunction<decltype(f.getOwner)>(dll, "GetSecurityDescriptorOwner");
    f.equalSid = SystemFunction<decltype(f.equalSid)>(dll, "EqualSid");
    f.complete = f.initializeAcl && f.addAllowed && f.initializeDescriptor && f.setDacl && f.setOwner &&
                 f.lengthSid && f.getObjectSecurity && f.getOwner && f.equalSid;
    return f;
  }();
  return functions;
}

ObjectOwner SystemObjectOwner(HANDLE object) {
  const SecurityFunctions& f = Security();
  if (!f.complete || !object) return ObjectOwner::Unknown;
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
  if (!f.complete) return false;
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
  ObjectOwnerFunction previous = objectOwner;
  objectOwner = function ? function : SystemObjectOwner;
  return previous;
}
