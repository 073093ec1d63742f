#pragma once
#include <cstddef>
#include <cstdint>
// Decides whether one file is a known variant of the worm, by its PE headers
// and the variant table. Called through the checker list for every file.
//
// Returns 1 when a record matched, 0 otherwise. A file that cannot be opened
// or read (within the examination's bound) is not counted clean: it is
// reported as not examined (NoteNotExamined), and 0 is returned. On a match the worm's
// registry entries are cleaned and, outside the memory phase, the file goes
// to the infected-file handling; in the memory phase it is only marked
// (scanState.foundInMemory). With a memory removal pending, the file is
// handed straight to that removal and 0 is returned.
//
// When the walk hands over the file's length from its directory entry
// (CheckedFileLength) and no record's size rule can pass for that length, nor
// for the length that the file's own metadata gives, the file is not opened:
// it could not match, so the result is the same 0.
struct VariantRecord;
int CheckVariantFile(const char* familyName, const char* path);

// Whether a file of this length could match a record at all (always for
// kLengthUnknown): a file the walk cannot hand to the check (its path does
// not fit) matters only then.
bool LengthCouldMatch(int64_t length);

// For a walk that judges its files' lengths ahead of the check, on threads
// of its own (the silent run). On the scan's thread, before the walk: false
// when every file must still go to the checker list (a list other than the
// program's, the prefilter off, a memory removal pending). `path` lies on the
// walked volume; `confirm` is set when a ruled-out entry length must be
// confirmed from the file's own metadata (see EntriesAreTheRecords).
bool PrepareLengthJudging(const char* path, bool& confirm);
// On any thread, after PrepareLengthJudging: true when the check would pass
// the file over unopened, by the same rule as LengthMayMatch. `current` reads
// the length that the file's own metadata gives (false when it cannot), and
// is asked only when `confirm` and the entry's length rules out every record.
using CurrentLengthFunction = bool (*)(void* context, uint64_t& length);
bool LengthRulesOut(int64_t entryLength, bool confirm, CurrentLengthFunction current, void* context);

// On any thread, after PrepareLengthJudging: true when the file open at
// `file` (for reading) matches no record and every read of its judging
// succeeded, as CheckVariantFile would find it; false when it matches or a
// read failed, which the check must then see for itself.
bool JudgedCleanThrough(void* file);  // a HANDLE

// The first record of the table that the open file matches, or null (also
// when its headers cannot be read). The check's own judgement, for a removal
// that must judge the file it opened itself.
class FileReader;
const VariantRecord* MatchVariantRecord(FileReader& file);

// Test seams. The table the check searches (null: the program's VariantTable);
// the size prefilter is rebuilt from it. Returns the table used before.
const VariantRecord* UseVariantTable(const VariantRecord* table);
// Switches the size prefilter off (false) or on (true, the program's way), so
// that a test can compare both; returns the previous setting.
bool UseSizePrefilter(bool on);
// Switches off (false) the confirmation of a ruled-out entry length from the
// file's own metadata, so that the benchmark can show what it costs; returns
// the previous setting. Never off in the program: a stale entry would hide a
// match.
bool UseLengthConfirmation(bool on);
// Where the check learns a volume's file system (by default
// GetVolumeInformationA on its root), so that a test can report one that
// keeps lengths in the directory entries (FAT) without having such a
// volume; null restores the system's. Returns the previous function.
using FileSystemNameFunction = bool (*)(const char* root, char* name, size_t size);
FileSystemNameFunction UseFileSystemName(FileSystemNameFunction function);

// Forgets the file systems asked so far: a scan asks each volume afresh.
void ForgetVolumes();

// Path of the file that the check has open; empty otherwise. Read by the
// registry cleaning while a match is handled.
constexpr int kCurrentFilePathLength = 261;
extern char currentFilePath[kCurrentFilePathLength];
