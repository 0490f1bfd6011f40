// config.ini: the settings file on the SD card that overrides the stored settings at power-up.
//
// The file is plain text, searched once per key: "key = value", "key =value", "key value" and
// "key= value" are read, "key=value" is a syntax error; a line starting with "#" is a comment.
#pragma once

#include <cstddef>
#include <cstdint>

// The macro trace switch: while non-zero, the macro runner reports every line it executes.
// RAM only: config.ini's "macdebug" and the "*macdebug" command set it.
extern uint8_t macroVerbose;

struct ConfigMerge {
    bool changed;            // a stored field (or the macro trace flag) got a new value
    bool main_port_changed;  // mainPort got a new value: the command port must follow
    bool verbose;            // the file asked for verbose messages
};

// Reads config.ini from the current directory of the SD card into the external-memory RAM
// area and merges its keys into eepromData. A missing file merges nothing, silently.
ConfigMerge KV_Config_Merge();
// Merges the keys of a NUL-terminated config.ini text (the second half of KV_Config_Merge:
// the keys in table order, then the tspan repair).
ConfigMerge KV_Config_MergeText(const char* text);

// Numeric key lookup: kind 'd' reads decimal, 'x' or 'h' hexadecimal. 1 with *value set when
// the key was found outside comments and followed by a readable value; 0 when absent or
// malformed (a syntax error is reported in verbose mode).
int lookfor(const char* text, const char* key, char kind, int32_t* value, int verbose);
// Quoted string lookup: key followed by a value in double quotes, with the escapes \n \r \0
// \xHH and backslash-any. 1 when found and value plus terminator fit dest (size bytes); dest
// is untouched otherwise.
int lookforQuotedString(const char* text, const char* key, char* dest, size_t size, int verbose);
