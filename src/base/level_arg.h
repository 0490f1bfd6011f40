// The 0-255 level that "xbb" (brightness) and "bv" (beeper volume) take.
#pragma once

// A number, or a change when its first or second character is a sign ("+10", " -5"): added to
// current and kept within 0-255. false for no number or an absolute value outside 0-255.
bool readLevel(const char* args, int current, int* level);
