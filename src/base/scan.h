// sscanf for the firmware: the standard scanf rules that the command templates rely on, with
// the integer ranges of the board (32-bit long), and no C library stdio.
//
// Directives: white space in the template matches any amount of white space in the input,
// including none; other characters must match exactly; conversions d i u x X o (with optional
// 0x prefix for x), c, s, [set], n, % with * (assignment suppression), a maximum field width
// and the length modifiers hh h l ll. Integers out of range saturate as strtol/strtoul do with a
// 32-bit long (ll: 64-bit), then are stored into the destination's type.
#pragma once

int kv_sscanf(const char* input, const char* fmt, ...) __attribute__((format(scanf, 2, 3)));
