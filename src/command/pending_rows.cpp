#include "command/pending_rows.h"
#include "base/text_helpers.h"

#include <cstring>

#include "base/interpreter.h"
#include "base/scan.h"
#include "controls/animation.h"

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

// animations: built with the animation store and its scheduler

int row_ani_clear(char* line) {
    return refuse_if(prefix(line, "anic") || prefix(line, "tfc"));
}

int row_ani_stop(char* line) {
    Values v;
    if (kv_sscanf(line, "tfd %d %d", &v.d[0], &v.d[1]) == 2) return kCmdFailed;
    return refuse_if(kv_sscanf(line, "anid %d %d", &v.d[0], &v.d[1]) >= 1);
}

int row_ani_delete(char* line) {
    // Lines of a running animation step may not delete animations; there the line is not this
    // command at all.
    if (ExecState == kExecAnimation) return kNoMatch;
    Values v;
    return refuse_if(kv_sscanf(line, "anix %d", &v.d[0]) == 1 ||
                     kv_sscanf(line, "tfx %d", &v.d[0]) == 1);
}

int row_ani_restart(char* line) {
    return refuse_if(prefix(line, "anis"));
}

int row_ani_enable(char* line) {
    Values v;
    return refuse_if(kv_sscanf(line, "tfe %d", &v.d[0]) == 1 ||
                     kv_sscanf(line, "anie %d", &v.d[0]) == 1);
}

int row_ani_add(char* line) {
    return refuse_if(prefix(line, "ani ") || prefix(line, "ani+ "));
}

int row_text_field(char* line) {
    Values v;
    return refuse_if(kv_sscanf(line, "tf %d%d", &v.d[0], &v.d[1]) >= 1);
}

int row_ani_list(char* line) {
    return refuse_if(prefix(line, "tf?") || prefix(line, "ani?"));
}

}

// level bars and the user LED: built with the level bar controls

// SD card images: built with the image decoders

int row_image_file(char* line) {
    return refuse_if(prefix(line, "xif "));
}

// system commands: built with the screen capture

int row_screen_capture(char* line) {
    return refuse_if(exact(line, "*getScreenAsBMPFile"));
}
