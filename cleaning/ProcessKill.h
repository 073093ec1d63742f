#pragma once
// Terminates the process that holds an infected file, so that the file can be
// deleted. Returns 1 when the deletion may be tried again (the process was
// terminated, or nothing was attempted) and 0 on failure, after which a
// "Could not kill process" box titled with the path may have been shown.
int KillProcessByPath(const char* path);
