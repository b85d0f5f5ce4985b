# ZELTO.EXE: the Win32 front end and the resources over the portable core and
# the Win32 platform layer, linked statically into one file that needs no DLL
# beyond those of the system.
file(GLOB ZELTO_FRONTEND_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*_win32.cpp
  ${CMAKE_SOURCE_DIR}/display/*_win32.cpp
  ${CMAKE_SOURCE_DIR}/settings/*_win32.cpp)

add_executable(zelto WIN32 ${ZELTO_FRONTEND_SOURCES} ${CMAKE_SOURCE_DIR}/resources/zelto.rc)
set_target_properties(zelto PROPERTIES OUTPUT_NAME ZELTO SUFFIX ".EXE")
# The resource script names its icon and the Setup dialog's script by plain
# file names beside it.
target_include_directories(zelto PRIVATE ${CMAKE_SOURCE_DIR}/resources)
set(ZELTO_RC_DEPENDS ${CMAKE_SOURCE_DIR}/resources/zelto.ico)
if(EXISTS ${CMAKE_SOURCE_DIR}/resources/setup.rc)
  list(APPEND ZELTO_RC_DEPENDS ${CMAKE_SOURCE_DIR}/resources/setup.rc)
endif()
set_property(SOURCE ${CMAKE_SOURCE_DIR}/resources/zelto.rc APPEND PROPERTY OBJECT_DEPENDS ${ZELTO_RC_DEPENDS})
target_link_libraries(zelto PRIVATE zelto_core zelto_platform)
# No link time stamp in the file, so the same sources give the same bytes.
target_link_options(zelto PRIVATE -mwindows -Wl,--no-insert-timestamp)
