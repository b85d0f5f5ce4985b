# The terminal emulator library behind VT100 emulation, as the target `vterm`.
# Natively it is the system's libvterm (Debian's libvterm-dev); ZELTO.EXE is
# built against its C sources, compiled here into a static library under the
# build folder.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
  add_library(vterm INTERFACE)
  target_link_libraries(vterm INTERFACE PkgConfig::VTERM)
  return()
endif()

# ZELTO.EXE: the sources are Debian's source package of the system's own
# suite, the same release the native build links, fetched by `apt-get source`
# into the build folder the first time a build folder is configured (it needs
# the suite's deb-src entry, which scripts/install-deps.sh adds, and dpkg-dev
# to unpack). They are downloaded code and stay out of the repository: the
# build folder is never committed.
set(ZELTO_VTERM_FETCH_DIR "${CMAKE_BINARY_DIR}/_libvterm")

function(zelto_vterm_find out)
  file(GLOB found LIST_DIRECTORIES true "${ZELTO_VTERM_FETCH_DIR}/libvterm-*")
  set(roots "")
  foreach(dir ${found})
    if(EXISTS "${dir}/src/vterm.c" AND EXISTS "${dir}/include/vterm.h")
      list(APPEND roots "${dir}")
    endif()
  endforeach()
  # Should a refetch after a suite update leave two, the newest is built.
  list(SORT roots COMPARE NATURAL ORDER DESCENDING)
  list(GET roots 0 root)
  set(${out} "${root}" PARENT_SCOPE)
endfunction()

set(ZELTO_VTERM_ROOT "")
file(GLOB ZELTO_VTERM_DIRS "${ZELTO_VTERM_FETCH_DIR}/libvterm-*/src/vterm.c")
if(ZELTO_VTERM_DIRS)
  zelto_vterm_find(ZELTO_VTERM_ROOT)
else()
  # A download cut short leaves a half-unpacked folder that dpkg-source would
  # refuse to unpack over: start from an empty one.
  file(REMOVE_RECURSE "${ZELTO_VTERM_FETCH_DIR}")
  file(MAKE_DIRECTORY "${ZELTO_VTERM_FETCH_DIR}")
  find_program(ZELTO_APT_GET apt-get)
  find_program(ZELTO_DPKG_SOURCE dpkg-source)
  if(NOT ZELTO_APT_GET OR NOT ZELTO_DPKG_SOURCE)
    message(FATAL_ERROR "vterm: ZELTO.EXE is built from libvterm's Debian source package, which needs "
      "apt-get and dpkg-source (as root: bash scripts/install-deps.sh run)")
  endif()
  message(STATUS "vterm: fetching libvterm's sources (apt-get source libvterm) into ${ZELTO_VTERM_FETCH_DIR}")
  execute_process(COMMAND "${ZELTO_APT_GET}" source -q libvterm
    WORKING_DIRECTORY "${ZELTO_VTERM_FETCH_DIR}"
    RESULT_VARIABLE rc
    OUTPUT_FILE "${ZELTO_VTERM_FETCH_DIR}/fetch.log"
    ERROR_FILE "${ZELTO_VTERM_FETCH_DIR}/fetch.log")
  file(GLOB ZELTO_VTERM_DIRS "${ZELTO_VTERM_FETCH_DIR}/libvterm-*/src/vterm.c")
  if(NOT rc EQUAL 0 OR NOT ZELTO_VTERM_DIRS)
    file(READ "${ZELTO_VTERM_FETCH_DIR}/fetch.log" log)
    message(FATAL_ERROR "vterm: `apt-get source libvterm` failed:\n${log}\n"
      "It needs a deb-src entry for this system's suite and dpkg-dev: as root, "
      "bash scripts/install-deps.sh run")
  endif()
  zelto_vterm_find(ZELTO_VTERM_ROOT)
endif()
message(STATUS "vterm: libvterm's sources in ${ZELTO_VTERM_ROOT}")

# Releases that carry their character set tables as .tbl files generate the
# C tables from them, as libvterm's own Makefile does; others ship them made.
file(GLOB ZELTO_VTERM_TABLES "${ZELTO_VTERM_ROOT}/src/encoding/*.tbl")
foreach(tbl ${ZELTO_VTERM_TABLES})
  string(REGEX REPLACE "\\.tbl$" ".inc" inc "${tbl}")
  if(NOT EXISTS "${inc}" OR "${tbl}" IS_NEWER_THAN "${inc}")
    find_program(ZELTO_PERL perl REQUIRED)
    execute_process(COMMAND "${ZELTO_PERL}" -CSD tbl2inc_c.pl "${tbl}"
      WORKING_DIRECTORY "${ZELTO_VTERM_ROOT}"
      OUTPUT_FILE "${inc}"
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      file(REMOVE "${inc}")
      message(FATAL_ERROR "vterm: generating ${inc} from ${tbl} failed")
    endif()
  endif()
endforeach()

file(GLOB ZELTO_VTERM_SOURCES "${ZELTO_VTERM_ROOT}/src/*.c")
add_library(vterm STATIC ${ZELTO_VTERM_SOURCES})
set_target_properties(vterm PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
# Its own flags (those of its Makefile), not the project's: a warning in
# third-party code is its authors' business and must not stop our build, whose
# own files keep -Werror. Windows executables have no symbol visibility, so
# the attribute that keeps its internal functions private is ignored there;
# said once per function, that would bury every other message.
set_property(TARGET vterm PROPERTY COMPILE_OPTIONS -Wall -Wpedantic -Wno-attributes)
target_include_directories(vterm PRIVATE "${ZELTO_VTERM_ROOT}/src")
# A system include for the users: its header is not held to our warnings.
target_include_directories(vterm SYSTEM PUBLIC "${ZELTO_VTERM_ROOT}/include")
