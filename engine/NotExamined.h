#pragma once
// A file or folder that the scan could not examine (refused, held, locked or
// not done within the bound): the scan is incomplete, and says so. Each path
// is counted in scanState.filesNotExamined and logged once, however often it
// is met (a running program's file is met by the memory scan and the walk).
// With `widePath` (the NT line's walk), "once" goes by that path: two names
// that the code page cannot hold may be shown alike, and still are two.
void NoteNotExamined(const char* path, const wchar_t* widePath = nullptr);

// Whether a failed open's error means the file could not be looked at, as
// against the file having gone since it was listed.
bool MeansNotExamined(unsigned long error);
