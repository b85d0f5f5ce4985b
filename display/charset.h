// The screen's character set: the character drawn for each byte (code page 437, control glyphs included) and the text forms the clipboard carries.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The characters of code page 437 for each byte, control glyphs included.
extern const uint16_t kOemChars[256];
// The character the view draws for each byte: code page 437 unless the
// front end's font draws another character set and says so (user-interface
// thread). Copied text is made of these.
extern uint16_t gDrawnChars[256];
// The byte drawn as ch: itself below 0x80, its place in the upper half of
// the drawn characters, or -1 when no byte is drawn as it.
int OemByteOf(uint32_t ch);
// UTF-8: appends ch (below 0x10000); reads the character at *pos and moves
// past it.
void AppendUtf8(std::string* out, uint32_t ch);
uint32_t NextUtf8(const char* text, size_t len, size_t* pos);
