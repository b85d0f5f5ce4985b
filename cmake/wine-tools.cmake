# The probe of the Wine end-to-end tests, winprobe.exe: a console program that reads ZELTO.EXE's window, dialogs and resources from outside.
add_executable(winprobe ${CMAKE_SOURCE_DIR}/tests/wine/winprobe_tool.cpp)
target_link_libraries(winprobe PRIVATE user32 gdi32 kernel32 version)
