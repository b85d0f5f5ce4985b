# The terminal emulator library behind VT100 emulation, as the target `vterm`.
# Natively it is the system's libvterm (Debian's libvterm-dev); ZELTO.EXE is
# built against its C sources, compiled here into a static library under the
# build folder.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
  add_library(vterm INTERFACE)
  target_link_libraries(vterm INTERFACE PkgConfig::VTERM)
else()
  message(FATAL_ERROR "vterm: the Win32 build of libvterm's sources is not written yet")
endif()
