// The screen's character set: the character drawn for each byte (code page 437, control glyphs included) and the text forms the clipboard carries.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The character each byte is drawn as.
extern const uint16_t kOemChars[256];
// The byte that draws as ch: itself below 0x80, its place in the upper half
// of the table, or -1 when no byte does.
int OemByteOf(uint32_t ch);
// UTF-8: appends ch (below 0x10000); reads the character at *pos and moves
// past it.
void AppendUtf8(std::string* out, uint32_t ch);
uint32_t NextUtf8(const char* text, size_t len, size_t* pos);
