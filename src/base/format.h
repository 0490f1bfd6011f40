// printf-style formatting for the firmware, without the C library's stdio: the same results on
// the board and in the simulator, no heap, no locale.
//
// Supported: flags - + space 0 #, width and precision (numbers or *), length modifiers hh h l ll
// z, conversions d i u x X o c s p f %. A long is 32 bits as on the board (l and no modifier
// behave alike); ll is 64 bits.
#pragma once

#include <cstdarg>
#include <cstddef>

// Writes at most size - 1 characters and a terminating NUL (when size > 0). Returns the length
// the complete output would have.
int kv_vsnprintf(char* buf, size_t size, const char* fmt, va_list args);
int kv_snprintf(char* buf, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
