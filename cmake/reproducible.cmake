# The same sources give the same binaries wherever they are built: no build
# paths in debug information, assert messages or __FILE__, and (Windows) no
# link time in the PE header. Release archives depend on this
# (scripts/package).
add_compile_options(
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
  -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
