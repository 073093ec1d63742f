#pragma once
// Decides whether one file is a known variant of the worm.
// Returns 1 when a variant record matched the file, 0 otherwise (also when the
// file cannot be opened or read: such a file counts as clean).
int CheckVariantFile(const char* familyName, const char* path);
