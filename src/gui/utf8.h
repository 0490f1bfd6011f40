// Character decoding of the text functions. Not for use outside src/gui.
#pragma once

#include <cstdint>

namespace gui {

// What a malformed UTF-8 sequence reads as. No font of the module has it, so it draws as
// nothing and takes no room.
constexpr uint32_t kReplacementChar = 0xFFFD;

// Decodes the character at s (s < end) in the given encoding into *code and returns the bytes
// it takes (at least 1, never past end). GUI_ENCODE_NONE: one byte is one character 0-255.
// GUI_ENCODE_UTF8: a well-formed sequence (no overlong forms, surrogates or codes past
// U+10FFFF) gives its code; anything else gives kReplacementChar for the longest start of a
// sequence that could still have been valid (at least one byte), so decoding resumes at the
// next byte that may begin a character.
int decode_char(const char* s, const char* end, int encoding, uint32_t* code);

}  // namespace gui
