#pragma once
// Where an administrator's run writes what a caller should read: the
// standard output handle when the caller gave one (a pipe of PsExec or
// Ansible, a redirected file), else the console of the parent when there is
// one. The program is a window program, so neither is there by default.

// Writes the text as it is (line ends included). False when there is
// nowhere to write it.
bool WriteToConsole(const char* text);
