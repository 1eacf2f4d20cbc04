# Cross build for 64-bit x86 Windows with MinGW-w64; every program is linked statically. Two
# trees use this file. The 64-bit stub tree (-DQUOV_STUB_ONLY=ON) builds the loader from the same
# sources and flags as the shipped 32-bit one, with the win32 thread model: a test vehicle, since
# 64-bit programs run under wine64 where 32-bit ones cannot. The 64-bit Windows test tree uses the
# -posix variant, which GoogleTest needs: the Windows tests around that loader, and the library
# for setup programs with its tests and the example (-DQUOV_SETUPLIB_ONLY=ON builds only those).
# Its programs run natively under wine64 in a prefix of their own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
if(QUOV_STUB_ONLY)
  set(quov_threads win32)
else()
  set(quov_threads posix)
endif()
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${quov_threads})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${quov_threads})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine64-run.sh)
# The compiler checks build projects of their own: they must pick the same variant.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUOV_STUB_ONLY)
