# find_package(Quovpack): the installed quovpack, the library for setup programs and
# quovpack_add_installer(). Installed as <prefix>/lib/cmake/Quovpack/QuovpackConfig.cmake; every
# path below is found from this file's place, so an unpacked release works wherever it lies.
#
# Gives
#   Quovpack::quovpack      the host program (imported executable); QUOVPACK_EXECUTABLE its path
#   Quovpack::quov_setup    the library for setup programs, for the architecture being built
#                           (only in a 32-bit or 64-bit MinGW-w64 build; the project must enable
#                           CXX, since the library is C++ inside and links the C++ runtime)
#   quovpack_add_installer(<target> PROGRAM <target or file> | FILES <folder> ...)
get_filename_component(_quovpack_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

if(CMAKE_HOST_WIN32)
  set(QUOVPACK_EXECUTABLE "${_quovpack_prefix}/bin/quovpack.exe")
else()
  set(QUOVPACK_EXECUTABLE "${_quovpack_prefix}/bin/quovpack")
endif()
if(NOT EXISTS "${QUOVPACK_EXECUTABLE}")
  set(Quovpack_FOUND FALSE)
  set(Quovpack_NOT_FOUND_MESSAGE "no quovpack at ${QUOVPACK_EXECUTABLE}")
  return()
endif()
# The function below may be called from a scope that does not see these variables.
set_property(GLOBAL PROPERTY _QUOVPACK_PREFIX "${_quovpack_prefix}")
set_property(GLOBAL PROPERTY _QUOVPACK_EXECUTABLE "${QUOVPACK_EXECUTABLE}")
if(NOT TARGET Quovpack::quovpack)
  add_executable(Quovpack::quovpack IMPORTED)
  set_target_properties(Quovpack::quovpack PROPERTIES IMPORTED_LOCATION "${QUOVPACK_EXECUTABLE}")
endif()

# The library: one self-contained archive per architecture. Other systems get no target, so a
# host project can still pack programs built elsewhere.
if(WIN32 AND MINGW AND NOT TARGET Quovpack::quov_setup)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_quovpack_triplet x86_64-w64-mingw32)
  else()
    set(_quovpack_triplet i686-w64-mingw32)
  endif()
  set(_quovpack_archive "${_quovpack_prefix}/lib/quov/${_quovpack_triplet}/libquov_setup.a")
  if(NOT EXISTS "${_quovpack_archive}")
    set(Quovpack_FOUND FALSE)
    set(Quovpack_NOT_FOUND_MESSAGE "no library for setup programs at ${_quovpack_archive}")
    return()
  endif()
  get_property(_quovpack_languages GLOBAL PROPERTY ENABLED_LANGUAGES)
  if(NOT CXX IN_LIST _quovpack_languages)
    set(Quovpack_FOUND FALSE)
    set(Quovpack_NOT_FOUND_MESSAGE "the library for setup programs is C++ inside and links \
with the C++ runtime: enable CXX before find_package (project(<name> C CXX))")
    return()
  endif()
  add_library(Quovpack::quov_setup STATIC IMPORTED)
  # -static: only the setup program is unpacked, so the C++ runtime must be inside it.
  set_target_properties(Quovpack::quov_setup PROPERTIES
    IMPORTED_LOCATION "${_quovpack_archive}"
    IMPORTED_LINK_INTERFACE_LANGUAGES CXX
    INTERFACE_INCLUDE_DIRECTORIES "${_quovpack_prefix}/include"
    INTERFACE_LINK_OPTIONS -static)
endif()

# quovpack_add_installer(<target>
#     PROGRAM <executable target or file> | FILES <folder> [PROGRAM ...]
#     NAME <application name> [LANGUAGES <short name or message file>...]
#     [OUTPUT <file>] [SETUP_DATA <file>] [SECOND_DATA <file>] [RUN "<path> <arguments>"]
#     [OPTIONS <more quovpack pack options>...])
# adds <target> (built by default) that packs the installer OUTPUT (default
# <current binary folder>/<target>.exe). It is packed again when the program, a file in the
# folder, a message file, a data file, quovpack or its stub changes. Relative paths are taken
# from the current source folder, OUTPUT from the current binary folder.
function(quovpack_add_installer target)
  cmake_parse_arguments(PARSE_ARGV 1 Q "" "PROGRAM;FILES;NAME;OUTPUT;SETUP_DATA;SECOND_DATA;RUN"
                        "LANGUAGES;OPTIONS")
  if(Q_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quovpack_add_installer: unknown arguments: ${Q_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT Q_PROGRAM AND NOT Q_FILES)
    message(FATAL_ERROR "quovpack_add_installer(${target}): give PROGRAM, FILES or both")
  endif()
  if(NOT DEFINED Q_NAME OR Q_NAME STREQUAL "")
    message(FATAL_ERROR "quovpack_add_installer(${target}): NAME is missing")
  endif()
  if(Q_RUN AND NOT Q_FILES)
    message(FATAL_ERROR "quovpack_add_installer(${target}): RUN needs FILES")
  endif()
  if(NOT Q_OUTPUT)
    set(Q_OUTPUT ${target}.exe)
  endif()
  get_filename_component(output "${Q_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")

  get_property(quovpack GLOBAL PROPERTY _QUOVPACK_EXECUTABLE)
  get_property(prefix GLOBAL PROPERTY _QUOVPACK_PREFIX)
  set(arguments pack --name "${Q_NAME}")
  # The installed files quovpack packs from: a new release packs again.
  set(data "${prefix}/share/quovpack")
  set(depends "${quovpack}" "${data}/quovldr.exe")
  if(Q_FILES AND NOT Q_PROGRAM AND EXISTS "${data}/quovfiles.exe")
    list(APPEND depends "${data}/quovfiles.exe")
  endif()
  if(Q_PROGRAM)
    if(TARGET ${Q_PROGRAM})
      list(APPEND arguments --program "$<TARGET_FILE:${Q_PROGRAM}>")
      list(APPEND depends ${Q_PROGRAM})
    else()
      get_filename_component(program "${Q_PROGRAM}" ABSOLUTE)
      list(APPEND arguments --program "${program}")
      list(APPEND depends "${program}")
    endif()
  endif()
  if(Q_FILES)
    get_filename_component(folder "${Q_FILES}" ABSOLUTE)
    list(APPEND arguments --files "${folder}")
    # CONFIGURE_DEPENDS: a file added to or removed from the folder is seen at the next build.
    file(GLOB_RECURSE folder_files LIST_DIRECTORIES false CONFIGURE_DEPENDS "${folder}/*")
    list(APPEND depends ${folder_files})
  endif()
  if(Q_RUN)
    list(APPEND arguments --run "${Q_RUN}")
  endif()
  # A value that names a file, holds a / or ends in .txt is a message file; any other is a
  # language of the installed set, which quovpack itself finds.
  foreach(language IN LISTS Q_LANGUAGES)
    set(in_source "${CMAKE_CURRENT_SOURCE_DIR}/${language}")
    if(language MATCHES "/|\\.txt$" OR (EXISTS "${in_source}" AND NOT IS_DIRECTORY "${in_source}"))
      get_filename_component(language "${language}" ABSOLUTE)
      list(APPEND depends "${language}")
    elseif(EXISTS "${data}/messages/${language}.txt")
      list(APPEND depends "${data}/messages/${language}.txt")
    endif()
    list(APPEND arguments --lang "${language}")
  endforeach()
  foreach(area SETUP_DATA SECOND_DATA)
    if(Q_${area})
      get_filename_component(file "${Q_${area}}" ABSOLUTE)
      string(TOLOWER ${area} option)
      string(REPLACE "_" "-" option ${option})
      list(APPEND arguments --${option} "${file}")
      list(APPEND depends "${file}")
    endif()
  endforeach()

  get_filename_component(output_folder "${output}" DIRECTORY)
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${output_folder}"
    COMMAND "${quovpack}" ${arguments} ${Q_OPTIONS} -o "${output}"
    DEPENDS ${depends}
    COMMENT "Packing the installer ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
endfunction()
