# Cross build for i686 Windows with MinGW-w64: the shipping program. The
# win32 thread-model compilers: the posix ones link libwinpthread, which
# imports functions that Windows 95/98 and NT 4 lack (GetTickCount64,
# TryEnterCriticalSection, ...), so the exe would not load there. The
# program has one thread and needs no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(SCOURIX_THREAD_MODEL win32)
