// Macros: stored command lines run by number or name, from the host, a touch, start-up or the
// communication watchdog; their labels, arguments, nesting and the queue of macros that touches
// schedule.
#pragma once

#include <cstddef>
#include <cstdint>

#include "macro/variables.h"  // kMacroArgCount

constexpr int kMacroMaxDepth = 4;
constexpr int kMacroArgsMax = 129;   // characters of an argument string
constexpr int kMacroLabelMax = 32;   // characters of a label
constexpr int kMacroLineSize = 129;  // an expanded macro line and its NUL
// A queued macro number at or above this is macro (number - 512), run with the arguments and
// label already waiting in the queue.
constexpr int kMacroQueuedKeepArgs = 512;

// Nesting depth of the running macro: 0 for host lines, up to 4. Selects the saved drawing
// state of "ss"/"sr".
extern int macroDepth;
// The label the queued macro starts at (empty: none); a touch builds it just before it queues
// its macro.
extern char macroQueuedLabel[kMacroLabelMax + 1];

// Runs macro n with the argument string args (null or empty: none) from label (null or empty:
// from the top). Returns the result of the last command executed, or 0 when the macro did not
// run, a line failed, the label was missing or nothing ran.
int processMacro(int n, const char* args, const char* label);

// Macro number from its text: a decimal number, "/" (0: no macro) or a name of the current file.
// Returns 1 and sets *n, or 0 with *n set to the failure code after sending its message.
int convertStringtoIndexMacro(const char* text, int* n);
// The name of macro *n, or null (then *n is -3 bad image, -2 no macros, -1 no names; a number
// outside the file leaves it).
const char* convertIndextoStringMacro(int* n);
// Splits "name[:label...] [rest]" after leading white space: the name is copied into name
// (size bytes, cut to fit) and *rest points at the label (":...") when the text holds a ":",
// else after the white-space character that ends the name (or at the end). Returns 1 when the
// text held a label, else 0.
int formatMacroNameString(const char* text, char* name, size_t size, const char** rest);

// The touch-to-macro queue. scheduleMacro: n = 0 does nothing; below 512 the argument string is
// copied (null: none). A later call replaces an earlier one that has not run yet.
void scheduleMacro(int n, const char* args);
// The queued macro's number (n for 512 + n), 0 if none.
int pendingMacro();
// Runs the queued macro, if any, and empties the queue.
void processScheduledMacro();

// Macro state at start-up (nothing queued, depth 0).
void KV_Macro_Init();
