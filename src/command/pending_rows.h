// Rows of the command chain whose features are not built yet. Each row recognises its command
// exactly as the finished handler will (including the lines it hands on down the chain), so
// that no other row can ever take such a line, and refuses it: result kCmdFailed, prompt "!\r".
// When a feature is built, its group here is replaced by the real handlers in that feature's
// module and the chain table points at them.
#pragma once

// SD card images
int row_image_file(char* line);  // "xif "
