# GoogleTest: the system's packages for native builds, built from the
# installed sources for the MinGW cross builds.
if(CMAKE_CROSSCOMPILING)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # GoogleTest 1.11 and later define these names themselves.
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Windows test programs run under Wine through CMAKE_CROSSCOMPILING_EMULATOR
# (cmake/wine-run). Before the first test, CTest runs the generated script,
# which gives this build tree its own Wine prefix and starts it detached
# (cmake/wine-session says why); `cmake/wine-session stop <prefix>` ends it.
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(KD_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-session.cmake.in ${CMAKE_BINARY_DIR}/wine-session.cmake @ONLY)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES
               ${CMAKE_BINARY_DIR}/wine-session.cmake)
endif()

# kd_add_gtest(<target> SOURCES <files...> [LIBRARIES <libs...>] [ARGS <args...>])
# One CTest test per test program: under Wine every process start costs
# time, so the cases of a program run in one go rather than one by one.
function(kd_add_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;ARGS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main test_support)
  add_test(NAME ${target} COMMAND ${target} ${ARG_ARGS})
endfunction()

# kd_add_export_check(<plug-in target>)
# Adds the CTest test <target>_exports: the built library must export exactly
# VSTPluginMain and main and, on Windows, import only system DLLs
# (scripts/check-exports).
function(kd_add_export_check target)
  if(WIN32 AND CMAKE_OBJDUMP)
    set(tool --objdump ${CMAKE_OBJDUMP})
  elseif(NOT WIN32 AND CMAKE_NM)
    set(tool --nm ${CMAKE_NM})
  endif()
  add_test(NAME ${target}_exports COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-exports ${tool} $<TARGET_FILE:${target}>)
endfunction()
