# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads: std::mutex and
# std::jthread need them). The libraries built by scripts/windows.sh sit under the prefix named by
# QUORVEL_WINDOWS_PREFIX (an environment variable, so that CMake's own test projects see it too).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(DEFINED ENV{QUORVEL_WINDOWS_PREFIX})
  list(APPEND CMAKE_FIND_ROOT_PATH $ENV{QUORVEL_WINDOWS_PREFIX})
endif()
# Qt for the window, when it is built (scripts/windows.sh --qt).
if(DEFINED ENV{QUORVEL_WINDOWS_QT})
  list(APPEND CMAKE_FIND_ROOT_PATH $ENV{QUORVEL_WINDOWS_QT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests and programs run under wine; a private prefix keeps the user's own out of it.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# The C and C++ runtimes and winpthread go inside each program and library: nothing to ship
# beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")  # plugins (Qt's are modules)
# No link time in the PE header: two builds of the same sources are byte-identical.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
