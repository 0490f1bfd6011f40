// The rows of the command chain: each row recognises its command and runs it, or returns
// kNoMatch so that the next row is tried. The first row that does not return kNoMatch decides.
//
// A row is listed with the starts a matching line can have, so that parse_command only tries
// the rows that have a chance, in chain order, and recognising a command costs about the same
// wherever its row stands. `lead` holds one- or two-character starts separated by '|': "tf|an"
// means the line starts with "tf" or "an"; a single character ("c") means that character
// followed by anything, which is what a scan template with a blank after a one-letter keyword
// needs ("c10 20 5" is a circle). A start that is too narrow makes its row unreachable, so
// every row's lead must cover every line its test can accept.
#pragma once

#include <cstddef>
#include <cstdint>

using RowFn = int (*)(char* line);

struct Row {
    const char* lead;  // the starts a matching line can have (see above)
    RowFn fn;
    const char* name;  // the command as the command index names it, for tests and benchmarks
};

// The chain in test order.
extern const Row kChain[];
extern const size_t kChainLength;

// The rows worth trying for a line, as indexes into kChain in chain order. Every other row
// would return kNoMatch for this line.
struct RowSpan {
    const uint8_t* rows;
    size_t count;
};
RowSpan candidate_rows(const char* line);
