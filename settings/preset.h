// The preset file ZELTO.SET beside the program: one 630-byte record of the settings.
#pragma once
#include <cstdint>

#include "platform/types.h"

constexpr int kPresetRecordSize = 630;
constexpr uint8_t kPresetFormat = 12;   // the record's first byte

// The folder of the program's own files (ZELTO.SET, ZELTO.REC, ZELTO.INI),
// with its separator, into dir: the program's folder where it may keep them
// there (platFolderKeepsFiles: a portable copy), else the user's own folder
// for them (platUserFolder). Returns 0, dir empty, when the folder and a
// file name do not fit.
int SettingsFolder(char* dir, uint32_t dirSize);

// Where to read the settings file name from, into path: in SettingsFolder;
// or, where that is the user's folder and holds no such file yet, the file
// beside the program (a preset that came with an installation). Returns 0,
// path empty, when no path fits.
int SettingsReadPath(const char* name, char* path, uint32_t size);

// Computes gszPresetPathName and gszRecPathName in SettingsFolder, then
// reads the record (see SettingsReadPath) and applies it. Returns 1 when a record was applied,
// 0 when the file is missing, short or of another format (nothing changes).
int LoadPreset();

// After LoadPreset: the status text that says the preset was damaged and
// which of its fields were reset (each out of its range, so the setting kept
// its default); empty when the preset was whole or none was read.
const char* PresetDamageText();

// Writes the current settings as one record to gszPresetPathName, in place
// of the old file only once all 630 bytes are written (platFileReplace).
// Returns 1 then, and the status text "-Setup saved to PATH-" is the
// caller's to write (Save Setup writes the options after it). Otherwise (no
// path, a file that cannot be created, a full disk) the old file stays as
// it was, and "Preset Write Error!" owned by owner and a status text naming
// the path say so.
int SavePreset(WindowHandle owner);
