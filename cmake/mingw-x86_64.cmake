# Cross build for 64-bit Windows (Debian: g++-mingw-w64-x86-64): the same sources as the 32-bit
# product, tested under 64-bit Wine where 32-bit programs cannot run.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(SWEEPMARK_MINGW_TRIPLE x86_64-w64-mingw32)
set(SWEEPMARK_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
