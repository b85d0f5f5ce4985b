// The preset file ZELTO.SET beside the program: one 630-byte record of the settings.
#pragma once
#include <cstdint>

#include "platform/types.h"

constexpr int kPresetRecordSize = 630;
constexpr uint8_t kPresetFormat = 12;   // the record's first byte

// Computes gszPresetPathName and gszRecPathName from the program's folder,
// then reads the record and applies it. Returns 1 when a record was applied,
// 0 when the file is missing, short or of another format (nothing changes).
int LoadPreset();

// After LoadPreset: the status text that says the preset was damaged and
// which of its fields were reset (each out of its range, so the setting kept
// its default); empty when the preset was whole or none was read.
const char* PresetDamageText();

// Writes the current settings as one record to gszPresetPathName. Returns 1
// when all 630 bytes went out. Otherwise (no path, a file that cannot be
// created, a short write) shows "Preset Write Error!" owned by owner and a
// status text naming the path.
int SavePreset(WindowHandle owner);
