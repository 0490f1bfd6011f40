// The command interpreter: one ordered chain of tests; the first that matches runs its handler.
#pragma once

// Result codes of parse_command and of every row of the chain.
constexpr int kCmdFailed = 0;    // prompt "!\r"; a macro stops
constexpr int kCmdDone = 1;      // prompt ">\r"
constexpr int kCmdHash = 2;      // prompt "#\r"
constexpr int kCmdNoPrompt = 3;  // done, and no prompt may follow
// A row returns this when the line is not its command, and the chain goes on.
constexpr int kNoMatch = -1;

// Interprets one command line (no line end; leading white space and comments removed). The
// line is scratch: handlers may write into it. Returns one of the result codes above; any
// other non-zero value counts as kCmdDone. A null line, an empty one and a line no row takes
// return kCmdFailed without sending anything.
int parse_command(char* line);

// The row (index into kChain, command/chain.h) that took the line of the last completed
// parse_command call, or -1 when no row took it. For tests and benchmarks; reading it changes
// nothing. Around a nested call ("*speedtest" runs its command through parse_command) the outer
// call completes last, so afterwards this names the outer command's row.
int parse_command_last_row();
