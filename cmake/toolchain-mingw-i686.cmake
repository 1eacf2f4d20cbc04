# Cross build for 32-bit x86 Windows with MinGW-w64; every program is linked statically.
# Two trees use this file. The stub tree (-DQUOV_STUB_ONLY=ON) builds the shipped loader with the
# win32 thread model: the -posix variant links the POSIX threads library into the exception
# runtime, tens of KB the single-threaded loader never uses. The Windows test tree uses the
# -posix variant, which GoogleTest needs. The loader's own flags are in loader/CMakeLists.txt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
if(QUOV_STUB_ONLY)
  set(quov_threads win32)
else()
  set(quov_threads posix)
endif()
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${quov_threads})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${quov_threads})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
# The compiler checks build projects of their own: they must pick the same variant.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUOV_STUB_ONLY)
