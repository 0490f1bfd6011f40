// Commands of the backlight and panel power (rows of the command chain).
#pragma once

int row_xbl(char* line);           // "xbl on", "xbl of"
int row_video(char* line);         // "v on", "v of"
int row_xbb(char* line);           // "xbb", "xbbs", with a value or a signed change
int row_brite_limits(char* line);  // "*maxBrite", "*minBrite", "*invEnaHiTrue", "*pwmIsEnable"
