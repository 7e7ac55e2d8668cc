# GoogleTest: the system's packages for native builds, built from the
# installed sources for the MinGW cross builds.
if(CMAKE_CROSSCOMPILING)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
  add_library(GTest::gmock ALIAS gmock)
  add_library(GTest::gmock_main ALIAS gmock_main)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# kd_add_gtest(<target> SOURCES <files...> [LIBRARIES <libs...>])
# One CTest test per test program: under Wine every process start costs
# seconds, so the cases of a program run in one go rather than one by one.
function(kd_add_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;ARGS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main test_support)
  add_test(NAME ${target} COMMAND ${target} ${ARG_ARGS})
endfunction()
