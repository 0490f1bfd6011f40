// Macro variables, backquoted expansions and arithmetic in command lines.
//
// Every variable is static and shared by the host and all macros. Values are 32-bit signed on
// every build, whatever the width of long.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMacroVarCount = 10;       // i0-i9, s0-s9, p0-p9
constexpr int kMacroStringMax = 80;      // characters of a string variable and of M
constexpr int kMacroStringSize = 81;     // its buffer
constexpr int kMacroPushLimitMax = 81;   // the highest limit "mpush" accepts
constexpr int kMacroUserBytes = 16;      // e0-eF: user EEPROM area bytes 0-15
constexpr int kMacroArgCount = 10;       // macro arguments 0-9
constexpr int kMacroFieldWidthMax = 80;  // widest field format

// Ten absent arguments: what host lines expand with.
extern const char* const nullArgs[kMacroArgCount];

// Start-up: empties s0-s9 and M, zeroes i0-i9 and p0-p9, seeds the random item generator.
void KV_Macros_Init();

// ---------------------------------------------------------------------------------------------
// The two filters. Both write at most size - 1 characters and a NUL (nothing when dst is null or
// size is 0) and return dst; src null counts as empty.

// Copies src, expanding backquoted items. args holds ten argument strings (null entries are
// absent); args itself may be null (no arguments, as for host lines).
char* expandVariables(char* dst, size_t size, const char* src, const char* const* args);
// Copies src, replacing each backquoted "(a op b)" by its 32-bit result.
char* processMath(char* dst, size_t size, const char* src);

// Field format checks. fmt is the format text from '%' (it need not be NUL-terminated after it:
// the checks read len characters). Number: "%", optional "+0", "-", "0" or "+", width 1-80.
// String: "%", optional "-", width 1-80, ".", precision of at least 1.
bool isValidNumberFormat(const char* fmt, size_t len);
bool isValidStringFormat(const char* fmt, size_t len);
// NUL-terminated forms.
bool isValidNumberFormat(const char* fmt);
bool isValidStringFormat(const char* fmt);
// The decimal number at the start of text is 1-80.
bool isValidFieldLength(const char* text);

// ---------------------------------------------------------------------------------------------
// The variable store. A variable number outside its range fails (0) or reads as 0 / empty.

int setMacro_iMem(int n, int32_t value);
int32_t getMacro_iMem(int n);
int setMacro_pt(int n, int32_t x, int32_t y);
int32_t getMacro_ptX(int n);
int32_t getMacro_ptY(int n);

// sN = text, cut to 80 characters.
int setMacroString2(const char* text, int n);
// The text of sN ("" outside the range).
const char* getMacroString2(int n);
// Appends text to sN as far as sN stays within limit (1-81, never more than 80 characters
// stored); nothing changes when sN is already at or over the limit. 0 for a bad n or limit.
int pushMacroString2(const char* text, int n, int limit);
// Removes count characters from the end of sN; a count beyond its length, or negative, empties
// it. 0 for a bad n.
int popMacroString2(int count, int n);
// The same on the memory string M.
int pushMacroString(const char* text, int limit);
int popMacroString(int count);
const char* getMacroString();

// User EEPROM byte h (0-15): its value, or -1 outside the range.
int getMacro_eByte(int h);
// Writes it, only when it differs. 0 outside the range.
int setMacro_eByte(int h, uint8_t value);
