// Rows of the command chain whose features are not built yet. Each row recognises its command
// exactly as the finished handler will (including the lines it hands on down the chain), so
// that no other row can ever take such a line, and refuses it: result kCmdFailed, prompt "!\r".
// When a feature is built, its group here is replaced by the real handlers in that feature's
// module and the chain table points at them.
#pragma once

// scrolling text boxes
int row_stb_dump(char* line);    // "stdump"
int row_stb_define(char* line);  // "std"
int row_stb_text(char* line);    // "stc", "sta", "stp"
int row_stb_scroll(char* line);  // "sts"
int row_stb_show(char* line);    // "stg"

// charts
int row_chart(char* line);  // "cc", "cr", "cdbb", "cdbc", "cdp", "cddm", "cdrm", "cdb", "cd"

// SD card images
int row_image_file(char* line);  // "xif "

// binary transfers
int row_chart_values(char* line);  // "bcv"

// EEPROM

// system commands
int row_screen_capture(char* line);  // "*getScreenAsBMPFile"
