# Cross build for 32-bit Windows (Debian: g++-mingw-w64-i686): the product.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(SWEEPMARK_MINGW_TRIPLE i686-w64-mingw32)
set(SWEEPMARK_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
