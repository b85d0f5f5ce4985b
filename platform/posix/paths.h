// POSIX-only settings of where things are, for tests and native tools.
#pragma once

// Makes path stand for the running program (null or "" restores the real one),
// so that the program's folder, where the preset file lies, can be chosen.
void posixSetProgramPath(const char* path);
