#include "core/watchdog.h"

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "device/timebase.h"
#include "macro/macro.h"
#include "media/macro_table.h"
#include "touch/hotspots.h"

namespace {

constexpr uint8_t kArmed = 0x01;
constexpr uint8_t kShortStage = 0x02;
constexpr uint8_t kLongStage = 0x04;
constexpr uint32_t kMsPerSecond = 1000;
constexpr int kMacroWordAt = 8;  // "*comwdt " and then the macro
constexpr int kNameSize = 64;

struct CommWatchDog {
    uint32_t lastActivity;  // ms count of the last line or "back" event
    uint32_t shortTimeout;  // s
    uint32_t longTimeout;   // s; 0: no long stage
    int32_t macro;
    uint8_t flags;
};
CommWatchDog commWatchDog;

// The watchdog's macros run with touch dispatch off: a touch must not queue a macro that would
// cut the label's macro short. Touch is on afterwards, whatever "touch" had set.
void run_label(const char* label) {
    ignoreTouch = 1;
    processMacro(commWatchDog.macro, nullptr, label);
    ignoreTouch = 0;
}

int refuse(const char* why) {
    txString(why);
    return kCmdFailed;
}

}  // namespace

void setupCommWatchDog(int macro, int shortSeconds, int longSeconds) {
    commWatchDog.macro = macro;
    commWatchDog.shortTimeout = uint32_t(shortSeconds);
    commWatchDog.longTimeout = uint32_t(longSeconds);
    commWatchDog.flags = kArmed;
    commWatchDog.lastActivity = KV_TimerGetMsCount();
}

void disableCommWatchDog() {
    commWatchDog.flags &= uint8_t(~kArmed);
}

void processCommWatchDog(int lineAvailable) {
    CommWatchDog& w = commWatchDog;
    if (!(w.flags & kArmed)) return;
    if (lineAvailable) {
        w.lastActivity = KV_TimerGetMsCount();
        if (w.flags & kShortStage) {
            w.flags &= uint8_t(~kShortStage);
            run_label(":st_up");
        } else if (w.flags & kLongStage) {
            w.flags &= uint8_t(~kLongStage);
            run_label(":lt_up");
        }
        return;
    }
    const bool longSet = w.longTimeout != 0;
    if ((longSet && (w.flags & kLongStage)) || (!longSet && (w.flags & kShortStage))) return;
    const uint32_t elapsed = (KV_TimerGetMsCount() - w.lastActivity) / kMsPerSecond;
    if (longSet && elapsed >= w.longTimeout && !(w.flags & kLongStage)) {
        w.flags = uint8_t((w.flags & ~kShortStage) | kLongStage);
        run_label(":lt_down");
    } else if (elapsed >= w.shortTimeout && !(w.flags & kShortStage)) {
        w.flags |= kShortStage;
        run_label(":st_down");
    }
}

int row_comwdt(char* line) {
    if (!prefix(line, "*comwdt")) return kNoMatch;
    if (exact(line, "*comwdt off")) {
        disableCommWatchDog();
        return kCmdDone;
    }
    int macro = 0;
    const char* rest;
    const char* word = line[7] ? line + kMacroWordAt : line + 7;
    if (*word >= '0' && *word <= '9') {
        if (kv_sscanf(word, "%d", &macro) != 1 || !KV_MacroExists(macro)) {
            return refuse("bad macro index number\r");
        }
    } else {
        char name[kNameSize];
        formatMacroNameString(word, name, sizeof name, &rest);
        // "/" resolves to no macro at all, which has no labels to run.
        if (!convertStringtoIndexMacro(name, &macro) || macro == 0) {
            return refuse("bad macro name\r");
        }
    }
    // The timeouts follow the macro word.
    const char* p = word;
    while (*p && *p != ' ' && *p != '\t') ++p;
    int shortSeconds = 0, longSeconds = 0;
    const int n = kv_sscanf(p, " %d %d", &shortSeconds, &longSeconds);
    if (n < 1 || shortSeconds < 1 || (n == 2 && longSeconds <= shortSeconds)) {
        return refuse("bad or missing timeout arg(s)\r");
    }
    setupCommWatchDog(macro, shortSeconds, n == 2 ? longSeconds : 0);
    return kCmdDone;
}
