// 8.3 names: the text form the firmware's callers use ("config.ini", any case) and the 11-byte
// blank-padded upper-case form of a FAT directory entry.
#pragma once

#include <cstddef>

constexpr size_t kShortNameLength = 11;
constexpr size_t kShortNameTextSize = 13;  // "NAMENAME.EXT" and its terminator

// Parses len characters of text as an 8.3 name into the directory form. "." and ".." give
// their own forms. False for anything that is not a valid 8.3 name (empty, too long, two dots,
// characters a short name cannot hold).
bool fs_parse_short_name(const char* text, size_t len, char out[kShortNameLength]);

// The directory form as "NAME.EXT", or "NAME" when the extension is blank.
void fs_short_name_text(const char raw[kShortNameLength], char out[kShortNameTextSize]);

// Case-insensitive comparison of two directory forms (stored names may carry lower case when a
// tool wrote them so).
bool fs_short_name_equal(const char* a, const char* b);
