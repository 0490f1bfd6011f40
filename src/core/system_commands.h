// Commands of the start-up and main-loop spine and the system commands built with it (rows of
// the command chain).
#pragma once

int row_vers(char* line);         // "vers"
int row_notes(char* line);        // "*macdebug %d", "*binr %d", "*macnote"
int row_ignored(char* line);      // "sb %d", "su", "SB %c%c%c", "SU": accepted, nothing done
int row_prompt_test(char* line);  // "*SERR" (result 0), "*IERR" (result 2)
int row_comment(char* line);      // a line starting with two slashes
int row_reset(char* line);        // "*MFGRESET", "*RESET"
int row_panel(char* line);        // "*panel"
int row_config(char* line);       // "*config", "*config \"name\""
int row_firmware(char* line);     // "*firmware"
int row_ctype(char* line);        // "*ctype"
int row_wait(char* line);         // "w %u"
int row_led(char* line);          // "led %9s": "sys", "on", "off"
