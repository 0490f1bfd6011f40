#include "touch/touch_trace.h"

#include "base/format.h"
#include "base/host_text.h"

namespace {

struct Triple {
    int a, b, c;
};
Triple trace[kTouchTraceSize];
int traceCount;

}  // namespace

void ttrace(int a, int b, int c) {
    if (traceCount >= kTouchTraceSize) return;
    trace[traceCount++] = {a, b, c};
}

void TouchShowTtrace() {
    for (Triple& t : trace) {
        if (t.a == 0 && t.b == 0 && t.c == 0) continue;
        kv_snprintf(out_buffer, sizeof out_buffer, "t %3d %3d %d\r", t.a, t.b, t.c);
        txString(out_buffer);
    }
    ClearTtrace();
}

void ClearTtrace() {
    for (Triple& t : trace) t = {0, 0, 0};
    traceCount = 0;
}

int TouchTraceCount() {
    return traceCount;
}
