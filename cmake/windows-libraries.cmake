# The libraries the Windows programs link statically: libsndfile with FLAC,
# Ogg/Vorbis, Opus and MP3 (mpg123, LAME), FFTW and libsoxr. scripts/install-deps
# cross-builds them from Debian's source packages (scripts/build-windows-
# libraries) into KD_WINDOWS_LIBRARIES/<triplet>/current.
#
# Defines the imported targets the Linux build gets from pkg-config, under the
# same names, so that a program links one name on both systems:
#   PkgConfig::SNDFILE   libsndfile and its codecs
#   PkgConfig::FFTW3     FFTW, double precision
#   PkgConfig::SOXR      libsoxr
# and KD_WINDOWS_LIBRARIES_PREFIX, the set in use (its share/licenses/ holds
# each library's version and licence, which scripts/package ships).
if(DEFINED ENV{KD_WINDOWS_LIBRARIES})
  set(default_store $ENV{KD_WINDOWS_LIBRARIES})
else()
  set(default_store /opt/kdistortion-windows-libraries)
endif()
set(KD_WINDOWS_LIBRARIES ${default_store} CACHE PATH
    "Folder of the cross-built Windows libraries (scripts/build-windows-libraries)")

set(prefix ${KD_WINDOWS_LIBRARIES}/${KD_MINGW_TRIPLET}/current)
if(NOT EXISTS ${prefix}/complete)
  message(FATAL_ERROR
    "The Windows libraries (libsndfile, its codecs, FFTW, libsoxr) for ${KD_MINGW_TRIPLET} are not in "
    "${KD_WINDOWS_LIBRARIES}. Run scripts/install-deps (as root) to build them, or set "
    "KD_WINDOWS_LIBRARIES to the folder that holds them.")
endif()
set(KD_WINDOWS_LIBRARIES_PREFIX ${prefix} CACHE INTERNAL "The set of Windows libraries in use")

# kd_import_static(<target> <library file name> [<linked targets or system libraries>...])
function(kd_import_static target file)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${prefix}/lib/${file}
    INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
    INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()

kd_import_static(kd_windows_ogg libogg.a)
kd_import_static(kd_windows_vorbis libvorbis.a kd_windows_ogg)
kd_import_static(kd_windows_vorbisenc libvorbisenc.a kd_windows_vorbis)
kd_import_static(kd_windows_flac libFLAC.a)
kd_import_static(kd_windows_opus libopus.a)
kd_import_static(kd_windows_mpg123 libmpg123.a shlwapi)
kd_import_static(kd_windows_mp3lame libmp3lame.a)
kd_import_static(PkgConfig::SNDFILE libsndfile.a
  kd_windows_flac kd_windows_vorbisenc kd_windows_opus kd_windows_mpg123 kd_windows_mp3lame)
kd_import_static(PkgConfig::FFTW3 libfftw3.a)
kd_import_static(PkgConfig::SOXR libsoxr.a)
