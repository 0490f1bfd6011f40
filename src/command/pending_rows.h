// Rows of the command chain whose features are not built yet. Each row recognises its command
// exactly as the finished handler will (including the lines it hands on down the chain), so
// that no other row can ever take such a line, and refuses it: result kCmdFailed, prompt "!\r".
// When a feature is built, its group here is replaced by the real handlers in that feature's
// module and the chain table points at them.
#pragma once

// meters
int row_meter_define(char* line);  // "md ", "mdb "
int row_meter_value(char* line);   // "mv %d %d"
int row_meter_band(char* line);    // "mvb %d %d %d %d %d %d %3s %3s", 2 to 8 items

// animations
int row_ani_clear(char* line);    // "anic", "tfc"
int row_ani_stop(char* line);     // "tfd %d %d", "anid %d %d"
int row_ani_delete(char* line);   // "anix %d", "tfx %d"
int row_ani_restart(char* line);  // "anis"
int row_ani_enable(char* line);   // "tfe %d", "anie %d"
int row_ani_add(char* line);      // "ani ", "ani+ "
int row_text_field(char* line);   // "tf %d%d"
int row_ani_list(char* line);     // "tf?", "ani?"

// scrolling text boxes
int row_stb_dump(char* line);    // "stdump"
int row_stb_define(char* line);  // "std"
int row_stb_text(char* line);    // "stc", "sta", "stp"
int row_stb_scroll(char* line);  // "sts"
int row_stb_show(char* line);    // "stg"

// buttons
int row_button_state(char* line);  // "ssb %d %d"
int row_button(char* line);        // "bd", "bdc", "bc"

// charts
int row_chart(char* line);  // "cc", "cr", "cdbb", "cdbc", "cdp", "cddm", "cdrm", "cdb", "cd"

// level bars and the user LED
int row_led(char* line);        // "led %9s"
int row_level_bar(char* line);  // "ld", "lv %d %d"

// SD card images
int row_image_file(char* line);  // "xif "

// binary transfers
int row_chart_values(char* line);  // "bcv"

// EEPROM

// system commands
int row_screen_capture(char* line);  // "*getScreenAsBMPFile"
