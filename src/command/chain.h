// The rows of the command chain: each row recognises its command and runs it, or returns
// kNoMatch. A row is listed with the characters a line must start with to have any chance of
// matching it; parse_command only tries the rows listed for the line's first character, in
// chain order, so the cost of recognising a command does not grow with its position.
#pragma once

#include <cstddef>
#include <cstdint>

using RowFn = int (*)(char* line);

struct Row {
    const char* lead;  // the characters a matching line can start with
    RowFn fn;
    const char* name;  // the command as the index names it, for tests and benchmarks
};

// The chain in test order.
extern const Row kChain[];
extern const size_t kChainLength;
