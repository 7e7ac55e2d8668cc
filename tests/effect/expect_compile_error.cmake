# Usage: cmake -DCOMPILER=<c++> -DROOT=<source dir> -DSOURCE=<file> -DERROR=<text> -P expect_compile_error.cmake
# Passes when SOURCE compiles with -DKD_COMPLETE_ROW and fails without it with
# a message that contains ERROR: so the failure is the one the file is about.
set(command ${COMPILER} -std=c++17 -fsyntax-only -I${ROOT}/effect -I${ROOT}/frame ${SOURCE})
execute_process(COMMAND ${command} -DKD_COMPLETE_ROW RESULT_VARIABLE status ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SOURCE} should compile with -DKD_COMPLETE_ROW:\n${output}")
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status ERROR_VARIABLE output)
if(status EQUAL 0)
  message(FATAL_ERROR "${SOURCE} compiled without -DKD_COMPLETE_ROW; it must not")
endif()
string(FIND "${output}" "${ERROR}" found)
if(found EQUAL -1)
  message(FATAL_ERROR "${SOURCE} failed to compile, but without \"${ERROR}\":\n${output}")
endif()
