# 32-bit Windows (the primary target), cross-built with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KD_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
