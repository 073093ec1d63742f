// Holds the instance lock of scourix.exe, taken through the program's own
// InstanceLock, so that a Scourix started meanwhile meets it exactly as it
// would meet a running Scourix, however long that start takes. The scenario
// waits for the line this writes and lets go by creating the release file.
//
//   scourix-lock-holder.exe OUT-FILE RELEASE-FILE
//
// OUT-FILE gets "lock: held" once the lock is held, or "lock: taken
// elsewhere" (exit code 1) when another process holds it already; once
// RELEASE-FILE exists, the lock is let go and "lock: let go" follows.
#include <windows.h>

#include <cstdio>

#include "app/InstanceLock.h"

namespace {

void Say(const char* path, const char* line) {
  FILE* out = fopen(path, "ab");
  if (!out) return;
  fprintf(out, "%s\n", line);
  fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: scourix-lock-holder OUT-FILE RELEASE-FILE\n");
    return 2;
  }
  {
    InstanceLock lock;
    if (!lock.Acquire()) {
      Say(argv[1], "lock: taken elsewhere");
      return 1;
    }
    Say(argv[1], "lock: held");
    while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES) Sleep(20);
  }
  // Closed, and so gone, before the line: a start that follows it meets no lock.
  Say(argv[1], "lock: let go");
  return 0;
}
