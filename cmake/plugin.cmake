# kd_add_plugin(<target> OUTPUT_NAME <name> SOURCES <files...>)
# Builds a loadable plug-in library: the frame's entry point plus the given
# sources, exporting only VSTPluginMain and main.
function(kd_add_plugin target)
  cmake_parse_arguments(ARG "" "OUTPUT_NAME" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${target} SHARED ${PROJECT_SOURCE_DIR}/frame/entry.cpp ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE frame ${ARG_LIBRARIES})
  set_target_properties(${target} PROPERTIES PREFIX "")
  if(ARG_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  if(WIN32)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/frame/exports.def)
  else()
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/frame/exports.map -Wl,--no-undefined)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/frame/exports.map)
  endif()
endfunction()
