# kd_add_plugin(<target> OUTPUT_NAME <name> SOURCES <files...>)
# Builds a loadable plug-in library: the frame's entry point plus the given
# sources, exporting only VSTPluginMain and main.
#
# Windows: hosts load and unload a plug-in's DLL any number of times in one
# process, so the DLL must give back at unload everything its static runtime
# takes at load.
# - It is linked by KD_PLUGIN_LINKER (the toolchain file's -win32 thread-model
#   driver) through cmake/link-with, so that the runtime linked in is the one
#   without winpthreads, which would take a TLS index per load for good. The
#   code itself is compiled once by the build's -posix compiler: for code that
#   uses no thread facilities both compilers produce the same objects, and
#   code that did use them would fail to link here rather than go wrong.
# - frame/emulated_tls.cpp replaces the runtime's thread-local storage, which
#   would keep a TLS index per load once an exception had been thrown.
# - frame/exception_pool_release.cpp frees the runtime's emergency exception
#   pool at unload.
# - 32-bit: frame/frame_registry_release.cpp closes the semaphore that the
#   runtime's registry of unwind tables creates at load and would keep; the
#   link sends the registration calls and CreateSemaphoreW through it.
function(kd_add_plugin target)
  cmake_parse_arguments(ARG "" "OUTPUT_NAME" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${target} SHARED ${PROJECT_SOURCE_DIR}/frame/entry.cpp ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE frame ${ARG_LIBRARIES})
  set_target_properties(${target} PROPERTIES PREFIX "")
  if(ARG_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  if(WIN32)
    target_sources(${target} PRIVATE
      ${PROJECT_SOURCE_DIR}/frame/exports.def
      ${PROJECT_SOURCE_DIR}/frame/emulated_tls.cpp
      ${PROJECT_SOURCE_DIR}/frame/exception_pool_release.cpp)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/frame/frame_registry_release.cpp)
      target_link_options(${target} PRIVATE
        -Wl,--wrap=__register_frame_info -Wl,--wrap=__deregister_frame_info -Wl,--wrap=_imp__CreateSemaphoreW@16)
    endif()
    if(KD_PLUGIN_LINKER)
      find_program(KD_PLUGIN_LINKER_PATH ${KD_PLUGIN_LINKER} REQUIRED)
      set_target_properties(${target} PROPERTIES
        CXX_LINKER_LAUNCHER "${PROJECT_SOURCE_DIR}/cmake/link-with;${KD_PLUGIN_LINKER_PATH}")
    endif()
  else()
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/frame/exports.map -Wl,--no-undefined)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/frame/exports.map)
  endif()
endfunction()
