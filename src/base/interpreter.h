// The command interpreter as every layer sees it: the result codes of a command line and
// parse_command itself. The chain of commands sits at the top of the firmware (src/command),
// because it lists every module's commands; the modules below that run command lines of their
// own (macros, animations, "*speedtest") reach it through this declaration, which the command
// module implements.
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
