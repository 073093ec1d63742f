#pragma once
// Runs the text signatures on one file (the hosts file) and acts on a match
// by scanState.infectedAction: 100 and 102 delete it (no attribute reset, no
// retry), 101 renames it, 103 only reports. Returns 1 on a match, else 0.
// The family name is not used; the call has the shape of a checker.
int CheckTextSignatures(const char* familyName, const char* path);
