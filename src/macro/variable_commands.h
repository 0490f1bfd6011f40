// The variable commands (rows of the command chain). Messages and replies go out as
// notifications (pout).
#pragma once

// "set iN v", "setx iN h", "set eN v", "setx eN h", "set pN x y", "set sN text" / "set sN
// \"text\"".
int row_set(char* line);
// "get", "getd", "getx", "getq" of iN, eN, pN, sN; a line naming no variable is not this command.
int row_get(char* line);
// "mpush [N] \"text\" [limit]", "mpop [N] count".
int row_mstring(char* line);
