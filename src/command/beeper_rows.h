// The beeper's commands (rows of the command chain). Each returns a command result code, or
// kNoMatch when the line is not its command.
#pragma once

int row_beep(char* line);         // "beep %u", "beepw %u"
int row_alarm(char* line);        // "al %d %u"
int row_beep_volume(char* line);  // "bv", "bvs": query, value or signed change
int row_beep_freq(char* line);    // "bf", "bf %u", "bfs %u"
int row_speaker(char* line);      // "*spkr", "*spkr on", "*spkr off"
int row_beep_misc(char* line);    // "bMaX %u", "bb %u", "rb %u %u %d", "rb %u %u"
