#include "command/parse_command.h"

#include "command/chain.h"

namespace {

int lastRow = -1;

}  // namespace

int parse_command(char* line) {
    lastRow = -1;
    if (!line) return kCmdFailed;
    // Only the rows whose lead fits the line's first characters can take it; they are tried in
    // chain order, so the first match is the same one a walk of the whole chain would find.
    const RowSpan candidates = candidate_rows(line);
    for (size_t k = 0; k < candidates.count; ++k) {
        const int row = candidates.rows[k];
        // Recorded before the call too: a row that never returns ("*RESET") is still known.
        lastRow = row;
        const int result = kChain[row].fn(line);
        if (result != kNoMatch) {
            lastRow = row;
            return result;
        }
    }
    lastRow = -1;
    return kCmdFailed;
}

int parse_command_last_row() {
    return lastRow;
}
