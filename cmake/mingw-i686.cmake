# Cross build for 32-bit Windows (Debian: g++-mingw-w64-i686): the product.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(SWEEPMARK_MINGW_TRIPLE i686-w64-mingw32)
set(SWEEPMARK_WINE_ARCH win32)
# The processor its manifest names; Windows refuses a program whose manifest names another.
set(SWEEPMARK_MANIFEST_ARCH x86)
# The oldest Windows the program loads on: Windows XP SP3 and Server 2003
# (tests/win32/windows-imports.txt).
set(SWEEPMARK_WINDOWS_FLOOR_MAJOR 5)
set(SWEEPMARK_WINDOWS_FLOOR_MINOR 1)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
