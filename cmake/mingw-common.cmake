# Cross build for Windows with the MinGW-w64 compiler; the toolchain file that includes this sets
# SWEEPMARK_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX thread model: GoogleTest needs std::mutex, which GCC 12's win32 thread model lacks.
# Linked statically, it adds no DLL.
set(CMAKE_C_COMPILER ${SWEEPMARK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SWEEPMARK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SWEEPMARK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SWEEPMARK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program, the tests included, carries its runtime inside: it needs no DLL beyond those of
# Windows, so it runs wherever it is copied and under Wine without a search path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs built here run under Wine, in the prefix of the current test run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)

# -O2 rather than -O3: at -O3, GCC 12 warns falsely (-Wrestrict) inside std::string's operator+,
# and warnings are errors here.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of the release build")
