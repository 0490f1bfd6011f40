#include "command/pending_rows.h"

#include "base/interpreter.h"
#include "base/text_helpers.h"

namespace {

// The line is this row's command, but the feature behind it is not built: refuse it.
int refuse_if(bool matched) {
    return matched ? kCmdFailed : kNoMatch;
}

}  // namespace

// system commands: built with the screen capture

int row_screen_capture(char* line) {
    return refuse_if(exact(line, "*getScreenAsBMPFile"));
}
