# Shared part of the MinGW-w64 cross toolchains. The including file sets
# KD_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR first.
#
# The -posix compilers are the ones whose runtime provides std::thread and
# std::mutex (through winpthreads); the build links that runtime statically
# (see the top-level CMakeLists.txt), so the DLLs import only system DLLs.
#
# The plug-in libraries, which start no threads, are linked by the -win32
# driver instead (KD_PLUGIN_LINKER, used by cmake/plugin.cmake): the static
# winpthreads takes a Windows TLS index each time a DLL containing it loads
# and never gives it back, so a host that loads and unloads the plug-in runs
# out of indices after about a thousand loads.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KD_MINGW_TRIPLET}-g++-posix)
set(KD_PLUGIN_LINKER ${KD_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${KD_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine (see wine-run and testing.cmake).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
