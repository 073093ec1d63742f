#include "cleaning/RestartDeletion.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/Handles.h"
#include "base/PathText.h"
#include "base/SystemLibrary.h"
#include "cleaning/MachineActions.h"
#include "cleaning/OsVersion.h"
#include "cleaning/WidePath.h"
#include "cleaning/WininitText.h"
#include "cleaning/files/Files.h"

namespace {

// Far more than any real wininit.ini; Windows processes the file in real mode
// at start-up. A larger one is refused rather than read into memory.
constexpr DWORD kLargestWininit = 8u << 20;

WriteFileFunction writeFile = WriteFile;

const char kRemovalFolderName[] = "Scourix.Removed";
const char kNotScheduledChangeable[] =
    "not scheduled for deletion at restart: users can change a folder on its path";
const char kNotScheduledLink[] = "not scheduled for deletion at restart: its path runs through a link";
const char kNotScheduledNotProven[] =
    "not scheduled for deletion at restart: its path no longer leads to the file";
const char kNotScheduledRefused[] =
    "not scheduled for deletion at restart: Windows refused the delayed deletion";

// --- security descriptors, read and built by hand ---------------------------
// Self-relative layout: revision, pad, control (WORD), then the offsets of
// owner, group, SACL and DACL (DWORDs). Nothing here needs advapi32's
// security functions, which NT 4 lacks in part and the 9x line entirely.

constexpr WORD kSelfRelative = 0x8000;
constexpr WORD kDaclPresent = 0x0004;
constexpr WORD kDaclProtected = 0x1000;
constexpr BYTE kInheritOnly = 0x08;
constexpr BYTE kObjectAndContainerInherit = 0x03;
constexpr DWORD kFileAllAccess = 0x001F01FF;
constexpr DWORD kGenericAll = 0x10000000;
constexpr DWORD kGenericWrite = 0x40000000;
constexpr DWORD kFileAddFile = 0x0002;
constexpr DWORD kFileAddSubdirectory = 0x0004;
constexpr DWORD kFileDeleteChild = 0x0040;
constexpr DWORD kDelete = 0x00010000;
constexpr DWORD kWriteDac = 0x00040000;
constexpr DWORD kWriteOwner = 0x00080000;

std::string Sid(BYTE authority, std::initializer_list<DWORD> subAuthorities) {
  std::string sid;
  sid += static_cast<char>(1);
  sid += static_cast<char>(subAuthorities.size());
  sid += std::string(5, '\0');
  sid += static_cast<char>(authority);
  for (DWORD sub : subAuthorities) sid.append(reinterpret_cast<const char*>(&sub), sizeof sub);
  return sid;
}

const std::string& LocalSystem() {
  static const std::string sid = Sid(5, {18});
  return sid;
}
const std::string& Administrators() {
  static const std::string sid = Sid(5, {32, 544});
  return sid;
}
const std::string& TrustedInstaller() {
  static const std::string sid =
      Sid(5, {80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u});
  return sid;
}
const std::string& CreatorOwner() {
  static const std::string sid = Sid(3, {0});
  return sid;
}
bool IsStandardUser(const std::string& sid) {
  static const std::string everyone = Sid(1, {0}), authenticated = Sid(5, {11}),
                           users = Sid(5, {32, 545}), interactive = Sid(5, {4});
  return sid == everyone || sid == authenticated || sid == users || sid == interactive;
}

bool ReadWord(const std::string& bytes, size_t at, WORD& value) {
  if (at > bytes.size() || bytes.size() - at < sizeof value) return false;
  memcpy(&value, bytes.data() + at, sizeof value);
  return true;
}
bool ReadDword(const std::string& bytes, size_t at, DWORD& value) {
  if (at > bytes.size() || bytes.size() - at < sizeof value) return false;
  memcpy(&value, bytes.data() + at, sizeof value);
  return true;
}
// The SID at `at`, bounded by `end`.
bool ReadSid(const std::string& bytes, size_t at, size_t end, std::string& sid) {
  if (end > bytes.size() || at >= end || end - at < 8) return false;
  const size_t length = 8 + 4 * static_cast<BYTE>(bytes[at + 1]);
  if (static_cast<BYTE>(bytes[at]) != 1 || end - at < length) return false;
  sid = bytes.substr(at, length);
  return true;
}

struct Ace {
  BYTE type;
  BYTE flags;
  DWORD mask;
  std::string sid;
  bool sidRead;
};

// The owner and the DACL's entries; false for a descriptor that cannot be
// read or has no DACL (which grants everyone everything).
bool ParseDescriptor(const std::string& descriptor, std::string& owner, std::vector<Ace>& aces) {
  WORD control = 0;
  DWORD ownerAt = 0, daclAt = 0;
  if (!ReadWord(descriptor, 2, control) || !(control & kSelfRelative) || !(control & kDaclPresent) ||
      !ReadDword(descriptor, 4, ownerAt) || !ReadDword(descriptor, 16, daclAt) || ownerAt == 0 ||
      daclAt == 0 || !ReadSid(descriptor, ownerAt, descriptor.size(), owner))
    return false;
  WORD aclSize = 0, aceCount = 0;
  if (!ReadWord(descriptor, daclAt + 2, aclSize) || !ReadWord(descriptor, daclAt + 4, aceCount) ||
      aclSize < 8 || descriptor.size() - daclAt < aclSize)
    return false;
  const size_t end = daclAt + aclSize;
  size_t at = daclAt + 8;
  aces.clear();
  for (WORD i = 0; i < aceCount; ++i) {
    WORD aceSize = 0;
    if (end - at < 8 || !ReadWord(descriptor, at + 2, aceSize) || aceSize < 8 || end - at < aceSize)
      return false;
    Ace ace;
    ace.type = static_cast<BYTE>(descriptor[at]);
    ace.flags = static_cast<BYTE>(descriptor[at + 1]);
    ReadDword(descriptor, at + 4, ace.mask);
    // Object ACEs (types 5 to 8, 11 to 16) put GUIDs before the SID; the SID
    // of the plain ones follows the mask.
    ace.sidRead = ReadSid(descriptor, at + 8, at + aceSize, ace.sid);
    aces.push_back(ace);
    at += aceSize;
  }
  return true;
}

bool GrantsAccess(BYTE aceType) {
  // ACCESS_ALLOWED, its object, callback and callback-object forms.
  return aceType == 0 || aceType == 5 || aceType == 9 || aceType == 11;
}

bool SystemReadFolderSecurity(HANDLE folder, const char*, std::string& descriptor) {
  using GetSecurityFunction = BOOL(WINAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD,
                                            DWORD*);
  static const SystemFunction<GetSecurityFunction> getKernelObjectSecurity("advapi32.dll",
                                                                           "GetKernelObjectSecurity");
  const auto getSecurity = getKernelObjectSecurity.Get();
  if (!getSecurity) return false;
  const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  descriptor.assign(256, '\0');
  if (getSecurity(folder, wanted, &descriptor[0], static_cast<DWORD>(descriptor.size()), &needed)) return true;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0 || needed > 64 * 1024) return false;
  descriptor.assign(needed, '\0');
  return getSecurity(folder, wanted, &descriptor[0], needed, &needed) != FALSE;
}

FolderSecurityReader folderSecurityReader = SystemReadFolderSecurity;

// A folder opened as itself (never through a link at its end), for reading
// its attributes and its security.
FileHandle OpenFolder(const char* path) {
  return FileHandle(OpenPath(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
}

bool IsPlainFolder(HANDLE folder, BY_HANDLE_FILE_INFORMATION& information) {
  return GetFileInformationByHandle(folder, &information) &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool UsersCanChangeFolder(const char* path, bool isRoot) {
  FileHandle folder = OpenFolder(path);
  BY_HANDLE_FILE_INFORMATION information;
  if (!folder.IsValid() || !IsPlainFolder(folder.Get(), information)) return true;
  std::string descriptor, owner;
  std::vector<Ace> aces;
  if (!folderSecurityReader(folder.Get(), path, descriptor) || !ParseDescriptor(descriptor, owner, aces))
    return true;
  if (owner != Administrators() && owner != LocalSystem() && owner != TrustedInstaller()) return true;
  DWORD changes = kDelete | kWriteDac | kWriteOwner | kFileDeleteChild | kGenericAll;
  if (!isRoot) changes |= kFileAddFile | kFileAddSubdirectory | kGenericWrite;
  for (const Ace& ace : aces) {
    if (!GrantsAccess(ace.type) || (ace.flags & kInheritOnly)) continue;
    if (!ace.sidRead) return true;  // a grant to someone unknown
    if ((IsStandardUser(ace.sid) || ace.sid == CreatorOwner()) && (ace.mask & changes)) return true;
  }
  return false;
}

// Our own folder's descriptor: owner Administrators, a protected DACL with
// full access for SYSTEM and Administrators, inherited by what it holds.
std::string RemovalFolderDescriptor() {
  std::string dacl;
  for (const std::string* sid : {&LocalSystem(), &Administrators()}) {
    const WORD aceSize = static_cast<WORD>(8 + sid->size());
    std::string ace(8, '\0');
    ace[0] = 0;  // ACCESS_ALLOWED_ACE_TYPE
    ace[1] = static_cast<char>(kObjectAndContainerInherit);
    memcpy(&ace[2], &aceSize, sizeof aceSize);
    memcpy(&ace[4], &kFileAllAccess, sizeof kFileAllAccess);
    dacl += ace + *sid;
  }
  std::string aclHeader(8, '\0');
  aclHeader[0] = 2;  // ACL_REVISION
  const WORD aclSize = static_cast<WORD>(8 + dacl.size()), aceCount = 2;
  memcpy(&aclHeader[2], &aclSize, sizeof aclSize);
  memcpy(&aclHeader[4], &aceCount, sizeof aceCount);

  std::string descriptor(20, '\0');
  descriptor[0] = 1;  // SECURITY_DESCRIPTOR_REVISION
  const WORD control = kSelfRelative | kDaclPresent | kDaclProtected;
  const DWORD ownerAt = 20, daclAt = static_cast<DWORD>(20 + Administrators().size());
  memcpy(&descriptor[2], &control, sizeof control);
  memcpy(&descriptor[4], &ownerAt, sizeof ownerAt);
  memcpy(&descriptor[16], &daclAt, sizeof daclAt);
  return descriptor + Administrators() + aclHeader + dacl;
}

// The folders this run created: trusted without reading their lists back
// (Wine, for one, keeps none).
std::vector<FileIdentity> createdFolders;

bool CreatedByThisRun(const FileIdentity& folder) {
  for (const FileIdentity& created : createdFolders)
    if (created.SameFile(folder)) return true;
  return false;
}

bool OnlyAdministratorsMayUse(HANDLE folder, const char* path) {
  std::string descriptor, owner;
  std::vector<Ace> aces;
  if (!folderSecurityReader(folder, path, descriptor) || !ParseDescriptor(descriptor, owner, aces))
    return false;
  if (owner != Administrators() && owner != LocalSystem()) return false;
  for (const Ace& ace : aces) {
    if (!GrantsAccess(ace.type)) continue;
    if (!ace.sidRead || (ace.sid != Administrators() && ace.sid != LocalSystem())) return false;
  }
  return true;
}

// Moves the file into the removal folder under a new name; false when it
// could not be moved (the target path then means nothing).
bool MoveIntoRemovalFolder(HANDLE file, const char* path, const FileIdentity& identity,
                           char (&target)[MAX_PATH]) {
  char folder[MAX_PATH];
  if (!PrepareRemovalFolder(path, identity.volume, folder)) return false;
  static DWORD serial = 0;
  for (int attempt = 0; attempt < 16; ++attempt) {
    int written = snprintf(target, sizeof target, "%s\\%08lX%08lX-%08lX-%lu.removed", folder,
                           static_cast<unsigned long>(identity.indexHigh),
                           static_cast<unsigned long>(identity.indexLow),
                           static_cast<unsigned long>(GetTickCount()), static_cast<unsigned long>(++serial));
    if (written <= 0 || static_cast<size_t>(written) >= sizeof target) return false;
    DWORD error = NO_ERROR;
    if (RenameThroughHandle(file, target, error)) return true;
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return writeFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadWhole(HANDLE file, std::string& bytes) {
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || size > kLargestWininit)
    return false;
  bytes.resize(size);
  DWORD got = 0;
  return size == 0 || (ReadFile(file, &bytes[0], size, &got, nullptr) && got == size);
}

// A copy left behind hidden or read-only (by a crashed run, or by hand) would
// refuse to be overwritten and so block every later scheduling.
void ClearAttributes(const char* path) {
  if (PathAttributes(path) != INVALID_FILE_ATTRIBUTES) SetAttributesByName(path, FILE_ATTRIBUTE_NORMAL);
}

// Writes the whole text into a new file and flushes it to the disk, so that
// what replaces wininit.ini is complete. A failed attempt leaves no file.
bool WriteFlushed(const char* path, const std::string& text) {
  ClearAttributes(path);
  bool written;
  {
    FileHandle file(CreateByName(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    if (!file.IsValid()) return false;
    written = WriteAll(file.Get(), text) && FlushFileBuffers(file.Get());
  }
  if (!written) DeleteByName(path);
  return written;
}

// The 9x line has no MoveFileEx: the old file steps aside under a third name
// and comes back should the new one fail to take its place.
bool ReplaceByRenames(const char* replacement, const char* target, const char* previous) {
  ClearAttributes(previous);
  DeleteByName(previous);
  if (!RenameByName(target, previous)) return false;
  if (RenameByName(replacement, target)) {
    DeleteByName(previous);
    return true;
  }
  RenameByName(previous, target);
  return false;
}

bool ReplaceFile(const char* replacement, const char* target, const char* previous, bool exists) {
  if (!exists) return RenameByName(replacement, target);
  if (GetOsFamily() == OS_WIN9X) return ReplaceByRenames(replacement, target, previous);
  return MoveByNameEx(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// Name of a file beside wininit.ini: the Windows folder plus `name`.
bool SiblingPath(char (&path)[350], const char* name) {
  UINT length = GetWindowsDirectoryA(path, sizeof path);
  return length != 0 && length < sizeof path && AppendText(path, name);
}

// The old text, read from a fresh copy in the temporary folder (which stays
// there). False when the file is too large or the copy cannot be made.
bool ReadThroughTemporaryCopy(const char* target, std::string& oldText) {
  WIN32_FIND_DATAA found;
  {
    FindHandle search(FindFirstEntry(target, found));
    if (!search.IsValid() || found.nFileSizeHigh != 0 || found.nFileSizeLow > kLargestWininit) return false;
  }
  char copy[MAX_PATH];
  DWORD length = GetTempPathA(sizeof copy, copy);
  if (length == 0 || length >= sizeof copy || !AppendText(copy, "wininit.ini")) return false;
  ClearAttributes(copy);
  // A copy that cannot be refreshed (held open, say) may be one left by an
  // earlier call: rewriting from it would drop entries added since.
  if (!CopyByName(target, copy)) return false;
  FileHandle source(OpenPath(copy, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
  return source.IsValid() && ReadWhole(source.Get(), oldText);
}

}  // namespace

MoveFileExFunction UseMoveFileEx(MoveFileExFunction function) {
  MoveFileExFunction previous = RealMachineActions().moveFileEx;
  RealMachineActions().moveFileEx = function ? function : MoveFileExA;
  return previous;
}

WriteFileFunction UseWininitWrite(WriteFileFunction function) {
  return std::exchange(writeFile, function ? function : WriteFile);
}

// wininit.ini is never written in place: the new text goes into a sibling
// file, flushed, which then replaces it. Whatever fails on the way, the old
// file keeps its bytes.
bool AddWininitRename(const char* key, const char* value) {
  char target[350], replacement[350], previous[350];
  if (!SiblingPath(target, "\\wininit.ini") || !SiblingPath(replacement, "\\wininit.new") ||
      !SiblingPath(previous, "\\wininit.old"))
    return false;

  const DWORD attributes = PathAttributes(target);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Windows refuses to replace a read-only file; the check is made here too,
  // so that a file system that would allow it (a Unix one, for a privileged
  // user) does not overrule the user's read-only flag.
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  try {
    std::string oldText;
    if (exists && !ReadThroughTemporaryCopy(target, oldText)) return false;
    if (!WriteFlushed(replacement, AddRenameEntry(oldText, key, value))) return false;
  } catch (const std::bad_alloc&) {
    DeleteByName(replacement);
    return false;
  }
  if (!ReplaceFile(replacement, target, previous, exists)) {
    DeleteByName(replacement);
    return false;
  }
  // The new file takes the old one's hidden and system flags.
  const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (exists && kept) SetAttributesByName(target, kept | FILE_ATTRIBUTE_ARCHIVE);
  return true;
}

bool PrepareRemovalFolder(const char* path, DWORD volume, char (&folder)[MAX_PATH]) {
  if (!(path[0] != '\0' && path[1] == ':' && path[2] == '\\')) return false;
  snprintf(folder, sizeof folder, "%c:\\%s", path[0], kRemovalFolderName);
  std::string descriptor = RemovalFolderDescriptor();
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor[0], FALSE};
  const bool created = CreateFolder(folder, &attributes);
  if (!created && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  FileHandle opened = OpenFolder(folder);
  BY_HANDLE_FILE_INFORMATION information;
  FileIdentity identity;
  if (!opened.IsValid() || !IsPlainFolder(opened.Get(), information) ||
      !IdentifyHandle(opened.Get(), identity) || identity.volume != volume)
    return false;
  if (created) {
    createdFolders.push_back(identity);
    return true;
  }
  return CreatedByThisRun(identity) || OnlyAdministratorsMayUse(opened.Get(), folder);
}

void ForgetRemovalFolders() { createdFolders.clear(); }

bool UsersCanChangePath(const char* path) {
  const size_t length = strlen(path);
  if (length >= MAX_PATH || !(path[0] != '\0' && path[1] == ':' && path[2] == '\\')) return true;
  const char* last = strrchr(path, '\\');
  char folder[MAX_PATH];
  // The root, "X:\", then each folder down to the file's own.
  memcpy(folder, path, 3);
  folder[3] = '\0';
  if (UsersCanChangeFolder(folder, true)) return true;
  for (const char* separator = strchr(path + 3, '\\'); separator && separator <= last;
       separator = strchr(separator + 1, '\\')) {
    const size_t end = static_cast<size_t>(separator - path);
    if (path[end - 1] == '\\') return true;  // "\\" runs: no path that was walked
    memcpy(folder, path, end);
    folder[end] = '\0';
    if (UsersCanChangeFolder(folder, false)) return true;
  }
  return false;
}

FolderSecurityReader UseFolderSecurityReader(FolderSecurityReader reader) {
  return std::exchange(folderSecurityReader, reader ? reader : SystemReadFolderSecurity);
}

namespace {

// A refused delayed move is no scheduling: the restart would not remove the file.
bool ScheduleByName(const char* path, const char** reason) {
  if (MoveByNameEx(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
  *reason = kNotScheduledRefused;
  return false;
}

// Only while the path still names the judged file.
bool ScheduleProvenPath(const char* path, const FileIdentity& identity, const char** reason) {
  DWORD error = NO_ERROR;
  if (!OpenProvenFile(path, identity, 0, error).IsValid()) {
    *reason = kNotScheduledNotProven;
    return false;
  }
  return ScheduleByName(path, reason);
}

}  // namespace

int ScheduleDeleteAtRestart(const char* path, HANDLE file, const FileIdentity& identity,
                            const char** reason, const wchar_t* widePath) {
  *reason = nullptr;
  switch (GetOsFamily()) {
    case OS_WINNT: {
      if (!identity.known) {
        *reason = kNotScheduledNotProven;
        return 0;
      }
      // Already in the administrators' folder (moved there earlier and met
      // again by the walk): its own path is as safe as a new one would be.
      char folder[MAX_PATH];
      const char* name = strrchr(path, '\\');
      if (name && PrepareRemovalFolder(path, identity.volume, folder) &&
          static_cast<size_t>(name - path) == strlen(folder) && _strnicmp(path, folder, strlen(folder)) == 0) {
        return ScheduleProvenPath(path, identity, reason) ? 1 : 0;
      }
      char moved[MAX_PATH];
      bool movedAway = KernelHandleTraits::IsValid(file) && MoveIntoRemovalFolder(file, path, identity, moved);
      if (!movedAway) {
        // The judged handle may lack DELETE (another program holds the file
        // for writing); one opened again for it, proven to be the same file,
        // can still move it when the holder shares deletion.
        DWORD error = NO_ERROR;
        FileHandle again = widePath ? OpenProvenFile(widePath, identity, DELETE | SYNCHRONIZE, error)
                                    : OpenProvenFile(path, identity, DELETE | SYNCHRONIZE, error);
        movedAway = again.IsValid() && MoveIntoRemovalFolder(again.Get(), path, identity, moved);
      }
      if (movedAway) return ScheduleByName(moved, reason) ? 1 : 0;
      // A shown path that does not name the file exactly can be judged no
      // better than an unreadable list.
      if (widePath && !ShowsExactly(path, widePath)) {
        *reason = kNotScheduledChangeable;
        return 0;
      }
      // Scheduled by its own path: what that path names at boot is deleted
      // as SYSTEM, so no standard user may be able to change it until then.
      if (PathHasReparsePoint(path)) {
        *reason = kNotScheduledLink;
        return 0;
      }
      if (UsersCanChangePath(path)) {
        *reason = kNotScheduledChangeable;
        return 0;
      }
      return ScheduleProvenPath(path, identity, reason) ? 1 : 0;
    }
    case OS_WIN9X: {
      // Without a short form (the file vanished, say) there is nothing to schedule.
      char shortPath[MAX_PATH];
      DWORD length = ShortPathOf(path, shortPath, sizeof shortPath);
      if (length == 0 || length >= sizeof shortPath) return 0;
      return AddWininitRename("NUL", shortPath) ? 1 : 0;
    }
    default:
      return 0;
  }
}
