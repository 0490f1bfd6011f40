#include "command/pending_rows.h"
#include "base/text_helpers.h"

#include <cstring>

#include "base/interpreter.h"
#include "base/scan.h"

namespace {

// The line is this row's command, but the feature behind it is not built: refuse it.
int refuse_if(bool matched) {
    return matched ? kCmdFailed : kNoMatch;
}

// Scratch space for the values a recognising scan converts; only their number matters here.
struct Values {
    int d[16];
    unsigned u[4];
    short h[4];
    long l[2];
    unsigned long lx;
    char c[4];
    char word[64];
    char word2[10];
};

}  // namespace

// scrolling text boxes: built with the text box controls

int row_stb_dump(char* line) {
    return refuse_if(prefix(line, "stdump"));
}
int row_stb_define(char* line) {
    return refuse_if(prefix(line, "std"));
}

int row_stb_text(char* line) {
    return refuse_if(prefix(line, "stc") || prefix(line, "sta") || prefix(line, "stp"));
}

int row_stb_scroll(char* line) {
    return refuse_if(prefix(line, "sts"));
}
int row_stb_show(char* line) {
    return refuse_if(prefix(line, "stg"));
}

// charts: built with the chart controls

int row_chart(char* line) {
    // The "cd" forms ("cdbb", "cdbc", "cdp", "cddm", "cdrm", "cdb", "cd", longest first) are
    // told apart inside the handler.
    return refuse_if(prefix(line, "cc") || prefix(line, "cr") || prefix(line, "cd"));
}

// level bars and the user LED: built with the level bar controls

// SD card images: built with the image decoders

int row_image_file(char* line) {
    return refuse_if(prefix(line, "xif "));
}

// binary chart values: built with the charts (on the raw-reception loop of "bdld")

int row_chart_values(char* line) {
    return refuse_if(prefix(line, "bcv"));
}

// system commands: built with the screen capture

int row_screen_capture(char* line) {
    return refuse_if(exact(line, "*getScreenAsBMPFile"));
}
