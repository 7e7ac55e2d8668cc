# The signed power law's own benchmarks. kd_power_timing, a plain timing
# program, builds in every build (the Windows ones run it under Wine,
# bench/power-law-figures); kd_power_bench is its Google Benchmark
# counterpart where that library is installed.
add_executable(kd_power_timing ${CMAKE_CURRENT_LIST_DIR}/power_law_timing.cpp)
target_link_libraries(kd_power_timing PRIVATE distortion_effect reference_signal_path)

if(NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(kd_power_bench ${CMAKE_CURRENT_LIST_DIR}/power_law_bench.cpp)
    target_link_libraries(kd_power_bench PRIVATE distortion_effect reference_signal_path benchmark::benchmark)
  endif()
endif()
