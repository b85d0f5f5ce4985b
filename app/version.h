// The program's version, written here once: CMake, the resource script, the about boxes, `zelto --version` and the packages take it from this file.
#pragma once

#define ZELTO_VERSION_MAJOR 3
#define ZELTO_VERSION_MINOR 16
#define ZELTO_VERSION "3.16"
// What the window title, the about boxes and the version resource show.
#define ZELTO_APP_NAME "Zelto v" ZELTO_VERSION
