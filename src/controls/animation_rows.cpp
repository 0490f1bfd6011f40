#include "controls/animation_rows.h"

#include <cstring>

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/animation.h"

namespace {

constexpr int kDefaultPeriod = 500;
// Longer, its stored "T" line would be longer than a command line may be.
constexpr size_t kTextFieldLineLimit = 121;

int result(int ok) {
    return ok ? kCmdDone : kCmdFailed;
}

}  // namespace

int row_ani_clear(char* line) {
    if (!prefix(line, "anic") && !prefix(line, "tfc")) return kNoMatch;
    init_animation();
    return kCmdDone;
}

int row_ani_stop(char* line) {
    int n, k;
    if (kv_sscanf(line, "tfd %d %d", &n, &k) == 2) return result(KV_StopAnimationAt(n, k, true));
    const int count = kv_sscanf(line, "anid %d %d", &n, &k);
    if (count < 1) return kNoMatch;
    // Without a yield number none matches, and the animation stops where it is.
    return result(KV_StopAnimationAt(n, count == 2 ? k : -1, false));
}

int row_ani_delete(char* line) {
    // Lines of a running animation step may not delete animations; there the line is not this
    // command at all.
    if (ExecState == kExecAnimation) return kNoMatch;
    int n;
    if (kv_sscanf(line, "anix %d", &n) != 1 && kv_sscanf(line, "tfx %d", &n) != 1) {
        return kNoMatch;
    }
    return result(DeleteAnimation(n));
}

int row_ani_restart(char* line) {
    if (!prefix(line, "anis")) return kNoMatch;
    KV_RestartAnimations();
    return kCmdDone;
}

int row_ani_enable(char* line) {
    int n;
    if (kv_sscanf(line, "tfe %d", &n) == 1) return result(KV_StartAnimation(n, false));
    if (kv_sscanf(line, "anie %d", &n) == 1) return result(KV_StartAnimation(n, true));
    return kNoMatch;
}

int row_ani_add(char* line) {
    if (!prefix(line, "ani ") && !prefix(line, "ani+ ")) return kNoMatch;
    return result(DoAnimationAdd(line));
}

int row_text_field(char* line) {
    int n, period;
    const int count = kv_sscanf(line, "tf %d%d", &n, &period);
    if (count < 1) return kNoMatch;
    if (ExecState == kExecAnimation || std::strlen(line) >= kTextFieldLineLimit) return kCmdFailed;
    const char* text = std::strchr(line, '"');
    if (!text) return kCmdFailed;
    return result(KV_TextField(n, count == 2 ? period : kDefaultPeriod, text));
}

int row_ani_list(char* line) {
    const char* rest;
    if (prefix(line, "tf?")) {
        rest = line + 3;
    } else if (prefix(line, "ani?")) {
        rest = line + 4;
    } else {
        return kNoMatch;
    }
    if (*rest == 0) {
        perr("Free: %d\r", KV_AnimationFree());
        return kCmdDone;
    }
    int n;
    if (kv_sscanf(rest, "%d", &n) == 1) return result(KV_ListAnimation(n));
    for (n = 0; n < kAnimationSlots; ++n) KV_ListAnimation(n);
    return kCmdDone;
}
