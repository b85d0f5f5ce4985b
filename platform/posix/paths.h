// POSIX-only settings of where things are, for tests and native tools.
#pragma once

// Makes path stand for the running program (null or "" restores the real one),
// so that the program's folder, where the preset file lies, can be chosen.
void posixSetProgramPath(const char* path);

// Chooses the device behind "COMn" (1 to 9). By default COMn is
// /dev/ttyS(n-1); a USB adapter or a pseudo-terminal can stand in its place.
// A null or empty path restores the default.
void posixSetComDevice(int n, const char* path);
// Pretends the modem input lines read mask (kModemCts...), for cables a
// pseudo-terminal cannot imitate; -1 reads the device again.
void posixSetModemLines(int mask);
