// The chart commands of the command chain.
#pragma once

// "cd", "cdb", "cdp", "cdbb", "cdbc", "cddm", "cdrm", "cc", "cr", and "cv" (which no row of
// its own takes: it shares this one, after the forms that begin with "c" too).
int row_chart(char* line);
