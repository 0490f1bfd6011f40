#include "command/pending_rows.h"

#include "base/interpreter.h"
#include "base/text_helpers.h"

namespace {

// The line is this row's command, but the feature behind it is not built: refuse it.
int refuse_if(bool matched) {
    return matched ? kCmdFailed : kNoMatch;
}

}  // namespace

// SD card images: built with the image decoders

int row_image_file(char* line) {
    return refuse_if(prefix(line, "xif "));
}
