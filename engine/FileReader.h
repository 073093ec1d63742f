#pragma once
// A file opened by a check, which the infected-file handling then removes
// through the same handle: what is judged is what is removed, whatever
// happens to the path in between. Closed on every path out. Reads go to
// absolute signed positions, as the checks seek.
//
// On the NT line the file is opened without following a reparse point at its
// end (a link is judged as itself, never as its target), for reading, DELETE
// and FILE_WRITE_ATTRIBUTES, shared for reading only, so that nobody can
// change, rename or delete it while it is judged and removed. Where that open
// is refused (another program holds the file for writing, or the access list
// denies deletion), it is opened for reading alone, shared for reading and
// writing, and judged the same way; its removal then goes by the path. On the
// 9x line, which has neither reparse points nor those rights, it is opened
// for reading alone, as always (FILE_SHARE_DELETE is left out because the 9x
// line refuses it).
#include <windows.h>

#include "base/Handles.h"
#include "cleaning/files/Files.h"
#include "engine/ByteReader.h"

// The length of the open file as a signed 32-bit value; files of 2 GiB and
// more count as unreadable (no signature describes one).
bool JudgedFileLength(HANDLE file, int32_t& length);

class FileReader final : public ByteReader {
 public:
  // `widePath` (NT line): what is opened, `path` being only its shown text
  // (CheckedFileWidePath).
  explicit FileReader(const char* path, const wchar_t* widePath = nullptr);

  bool IsOpen() const { return handle_.IsValid(); }
  // Opened with the rights that the removal needs.
  bool Removable() const { return removable_; }
  void Close();

  bool Length(int32_t& length) const { return JudgedFileLength(handle_.Get(), length); }
  bool ReadExact(int32_t position, void* destination, uint32_t length) override;
  // A read that the system refused (a byte-range lock, a cancelled read), as
  // against one that met the end of the file: the file was not examined.
  bool ReadFailed() const { return readFailed_; }

  // For a Removable() file: sets its attributes to FILE_ATTRIBUTE_ARCHIVE
  // alone (read-only, hidden and system would each refuse the deletion), and
  // marks it for deletion when the handle closes. False with the Win32 error
  // in `error` when the system refuses.
  bool ResetAttributes(DWORD& error);
  bool MarkForDeletion(DWORD& error);

  // The open file's identity (volume, file index, link count), read through
  // its handle now. False when it is not open or the system cannot say.
  bool Identify(FileIdentity& identity) const { return IsOpen() && IdentifyHandle(handle_.Get(), identity); }
  // The handle itself, for a step that acts through it (the move before a
  // deletion at restart); it stays owned here.
  HANDLE Get() const { return handle_.Get(); }

 private:
  FileHandle handle_;
  bool removable_ = false;
  bool readFailed_ = false;
};
