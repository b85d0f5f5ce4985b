# The native program `zelto`: the GTK 3 front end (the *_gtk.cpp files beside
# the Win32 ones, and the GTK window operations of platform/gtk/) over the
# portable core and the shared half of the POSIX platform layer.
file(GLOB ZELTO_GTK_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*_gtk.cpp
  ${CMAKE_SOURCE_DIR}/display/*_gtk.cpp
  ${CMAKE_SOURCE_DIR}/settings/*_gtk.cpp
  ${CMAKE_SOURCE_DIR}/platform/gtk/*.cpp)
add_executable(zelto ${ZELTO_GTK_SOURCES})
# GTK's headers trip -Wextra in places of their own; they are system headers.
target_include_directories(zelto SYSTEM PRIVATE ${GTK3_INCLUDE_DIRS})
target_link_libraries(zelto PRIVATE zelto_core zelto_posix ${GTK3_LINK_LIBRARIES})
