// The native program's command line: the devices behind the COM ports, --version, --help and --list.
#pragma once
#include <cstdio>

// Takes the options (GTK's own already taken out). Returns -1 when the
// program is to start, else the exit code: 0 after --version, --help or
// --list, 2 for a bad option (told on standard error with the usage).
int ReadZeltoOptions(int argc, char** argv);

// The usage, as zelto --help prints it and the manual page explains it.
void PrintZeltoUsage(FILE* to);
