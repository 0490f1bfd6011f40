// The command interpreter: one ordered chain of tests; the first that matches runs its handler.
// The result codes and parse_command itself are declared at the bottom of the firmware
// (base/interpreter.h), so that every layer can run a command line.
#pragma once

#include "base/interpreter.h"

// The row (index into kChain, command/chain.h) that took the line of the last completed
// parse_command call, or -1 when no row took it. For tests and benchmarks; reading it changes
// nothing. Around a nested call ("*speedtest" runs its command through parse_command) the outer
// call completes last, so afterwards this names the outer command's row.
int parse_command_last_row();
