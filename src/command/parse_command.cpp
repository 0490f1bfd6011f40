#include "command/parse_command.h"

#include "command/chain.h"

namespace {

// Rows per leading byte, in chain order: rowsFor[b] lists the indexes of kChain whose lead
// contains b. Built on first use; the chain is a constant table, so the index never changes.
constexpr size_t kMaxRows = 256;
uint8_t entries[kMaxRows * 4];
uint16_t offsets[257];
bool indexed;

void build_index() {
    size_t n = 0;
    for (int b = 0; b < 256; ++b) {
        offsets[b] = uint16_t(n);
        for (size_t i = 0; i < kChainLength; ++i) {
            for (const char* c = kChain[i].lead; *c; ++c) {
                if (uint8_t(*c) == b && n < sizeof entries) {
                    entries[n++] = uint8_t(i);
                    break;
                }
            }
        }
    }
    offsets[256] = uint16_t(n);
    indexed = true;
}

}  // namespace

int parse_command(char* line) {
    if (!line) return kCmdFailed;
    if (!indexed) build_index();
    const uint8_t b = uint8_t(line[0]);
    for (uint16_t k = offsets[b]; k < offsets[b + 1]; ++k) {
        const int r = kChain[entries[k]].fn(line);
        if (r != kNoMatch) return r;
    }
    return kCmdFailed;
}
