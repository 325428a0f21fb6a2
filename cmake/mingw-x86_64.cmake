# Cross build for 64-bit Windows (Debian: g++-mingw-w64-x86-64): the same sources as the 32-bit
# product, tested under 64-bit Wine where 32-bit programs cannot run.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(SWEEPMARK_MINGW_TRIPLE x86_64-w64-mingw32)
set(SWEEPMARK_WINE_ARCH win64)
# The processor its manifest names; Windows refuses a program whose manifest names another.
set(SWEEPMARK_MANIFEST_ARCH amd64)
# The oldest Windows the program loads on: Windows XP Professional x64 Edition and Server 2003 SP1
# x64 (tests/win32/windows-imports.txt).
set(SWEEPMARK_WINDOWS_FLOOR_MAJOR 5)
set(SWEEPMARK_WINDOWS_FLOOR_MINOR 2)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
