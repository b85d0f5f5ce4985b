// The screen's character set: the character drawn for each byte (code page 437, control glyphs included) and the text forms the clipboard carries.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The characters of code page 437 for each byte, control glyphs included.
extern const uint16_t kOemChars[256];
// The character the view draws for each byte: code page 437 unless the
// front end's font draws another character set and says so (user-interface
// thread, under the screen lock: VT100 emulation's writer reads it). Copied
// text is made of these.
extern uint16_t gDrawnChars[256];
// The byte drawn as ch, so that copied text pastes back as the bytes it
// shows: itself below 0x80, else the byte whose drawn character it is (the
// upper half first, then the control bytes' glyphs), or -1 when no byte is
// drawn as it.
int OemByteOf(uint32_t ch);
// UTF-8: appends ch (up to U+10FFFF); reads the character at *pos and moves
// past it (a byte that begins no complete sequence is read as itself).
void AppendUtf8(std::string* out, uint32_t ch);
uint32_t NextUtf8(const char* text, size_t len, size_t* pos);
// 1 when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing beyond U+10FFFF, no sequence cut short).
int IsUtf8(const char* text, size_t len);
// UTF-16 (as Windows' clipboard carries text) as UTF-8. A surrogate without
// its partner becomes U+FFFD, which no byte is drawn as.
std::string Utf8FromUtf16(const uint16_t* text, size_t len);
