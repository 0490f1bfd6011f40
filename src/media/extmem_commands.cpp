#include "media/extmem_commands.h"

#include <cstring>

#include "base/host_text.h"
#include "base/interpreter.h"
#include "fs/sd_commands.h"

namespace {

constexpr const char* kProgramLineMax = "128\r";

}  // namespace

int row_extmem_limits(char* line) {
    if (std::strcmp(line, "xmpmax") == 0) {
        txString(kProgramLineMax);
        return kCmdDone;
    }
    if (std::strcmp(line, "fopen") == 0) return row_fopen(line);
    return kNoMatch;
}
