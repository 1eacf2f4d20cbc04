# The shipped loader is built on its own with the win32 thread model: the -posix variant (which
# GoogleTest needs) links the POSIX threads library into the exception runtime, tens of KB the
# single-threaded stub never uses. This tree builds the loader only (QUOV_STUB_ONLY).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(QUOV_STUB_ONLY ON CACHE BOOL "Build the loader only" FORCE)
# Whole-program optimisation across our code and the decoder; no run-time type information (the
# loader never asks for it; thrown types keep theirs); statics are initialised on one thread.
# Call arguments are pushed rather than stored into a reserved area: shorter instructions (the
# decoder's C code keeps the default, which is smaller there).
set(CMAKE_CXX_FLAGS_INIT
    "-include ${CMAKE_CURRENT_LIST_DIR}/stub_prelude.h -flto -fno-rtti -fno-threadsafe-statics -mno-accumulate-outgoing-args")
# The decoder's C code is never unwound through: no unwind tables for it.
set(CMAKE_C_FLAGS_INIT "-flto -fno-asynchronous-unwind-tables")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-flto -Os")
