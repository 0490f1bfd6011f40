// Rows of the command chain whose features are not built yet. Each row recognises its command
// exactly as the finished handler will (including the lines it hands on down the chain), so
// that no other row can ever take such a line, and refuses it: result kCmdFailed, prompt "!\r".
// When a feature is built, its group here is replaced by the real handlers in that feature's
// module and the chain table points at them.
#pragma once

// animations
int row_ani_clear(char* line);    // "anic", "tfc"
int row_ani_stop(char* line);     // "tfd %d %d", "anid %d %d"
int row_ani_delete(char* line);   // "anix %d", "tfx %d"
int row_ani_restart(char* line);  // "anis"
int row_ani_enable(char* line);   // "tfe %d", "anie %d"
int row_ani_add(char* line);      // "ani ", "ani+ "
int row_text_field(char* line);   // "tf %d%d"
int row_ani_list(char* line);     // "tf?", "ani?"


// SD card images
int row_image_file(char* line);  // "xif "

// EEPROM

// system commands
int row_screen_capture(char* line);  // "*getScreenAsBMPFile"
