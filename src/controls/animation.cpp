#include "controls/animation.h"

#include <algorithm>
#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "device/board.h"
#include "device/timebase.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "gui/gui.h"
#include "media/fonts.h"

volatile int ExecState;
char anibuf[kAnimationStoreSize];
char* anibuf_ptr = anibuf;
AnimationSlot dta[kAnimationSlots];

namespace {

// The delay the scheduler last programmed into animateTimer: the time a pass charges the
// waiting animations.
int32_t lastDelay;

constexpr int32_t kNoPass = 32767;
// Room for one stored line as the scheduler hands it to the interpreter.
constexpr int kLineSize = 256;
char aniLine[kLineSize];

bool valid_slot(int n) {
    return n >= 0 && n < kAnimationSlots;
}

bool is_yield(const char* line) {
    return line[0] == 'y';
}

// The line after line, wrapping from the animation's end to its start.
char* next_line(const AnimationSlot& s, char* line) {
    char* next = line + std::strlen(line) + 1;
    return next > s.end ? s.start : next;
}

int line_count(const AnimationSlot& s) {
    int n = 0;
    for (const char* p = s.start; p <= s.end; ++p) n += *p == 0;
    return n;
}

// Whether a line after line (up to the animation's end, no wrap) is a yield.
bool yield_follows(const AnimationSlot& s, char* line) {
    for (char* p = line + std::strlen(line) + 1; p <= s.end; p += std::strlen(p) + 1) {
        if (is_yield(p)) return true;
    }
    return false;
}

bool slot_active(const AnimationSlot& s) {
    return s.start && (s.state > 0 || s.state < kAniStopped);
}

// Makes a pass due within ms unless one is due sooner. The animations that wait are first
// charged the time that has passed since the timer was programmed, because the pass charges
// them the whole programmed delay: without that an earlier pass would make them step early.
void pass_within(int32_t ms) {
    IrqGuard guard;
    const int32_t left = animateTimer;
    if (left >= 0 && left <= ms) return;
    if (left > 0) {
        const int32_t elapsed = lastDelay - left;
        for (AnimationSlot& s : dta) {
            if (s.start && s.state > 0) s.state = std::max<int32_t>(1, s.state - elapsed);
        }
    }
    lastDelay = ms;
    animateTimer = ms;
}

// The yield that line is, reached by animation s. Returns whether the walk ends here.
bool take_yield(AnimationSlot& s, char* line) {
    const int32_t was = s.state;
    s.current = next_line(s, line);
    if (was == kAniStopping || (line[1] != 0 && line[2] == 's')) {
        s.state = kAniStopped;
        return true;
    }
    if (was == kAniStopAtLast || was == kAniStopBeforeLast) {
        // The request stands until its yield comes; the lines up to it run now.
        if (yield_follows(s, line) == (was == kAniStopBeforeLast)) {
            s.state = kAniStopped;
            return true;
        }
        return false;
    }
    int ms = 0;
    kv_sscanf(line + 1, "%d", &ms);
    // A time below 1 ms would leave the animation at a state the scheduler never picks, or
    // forge a stop request.
    s.state = std::max(1, ms);
    return true;
}

// Runs animation s from its current line up to a yield. The walk is bounded by the number of
// lines: lines such as "anis" move the current line, and a walk that waited to come back to
// where it began would never end. Returns whether a line ran.
bool walk(AnimationSlot& s, bool* saved) {
    bool ran = false;
    const int lines = line_count(s);
    for (int visited = 0; visited < lines; ++visited) {
        char* line = s.current;
        if (is_yield(line)) {
            if (take_yield(s, line)) return ran;
            continue;
        }
        s.current = next_line(s, line);
        const size_t n = std::min(std::strcspn(line, "\n"), size_t(kLineSize - 1));
        std::memcpy(aniLine, line, n);
        aniLine[n] = 0;
        if (!*saved) {
            SaveState(&AniGDI);
            *saved = true;
        }
        ran = true;
        parse_command(aniLine);
        board_checkpoint(Work::kCommandLine);
    }
    s.state = kAniStopping;
    return ran;
}

void send_escaped_line(int n, const char* line) {
    char piece[kOutBufferSize];
    int len = kv_snprintf(piece, sizeof piece, "ani %d ", n);
    for (const char* p = line; *p; ++p) {
        // Room for an escape and the closing CR; a longer line goes out in several pieces.
        if (len > kOutBufferSize - 8) {
            txString(piece);
            len = 0;
        }
        const auto c = uint8_t(*p);
        if (c < 0x20 || c == 0x7F) {
            len += kv_snprintf(piece + len, sizeof piece - size_t(len), "\\x%02x", c);
        } else {
            piece[len++] = char(c);
        }
    }
    piece[len++] = '\r';
    piece[len] = 0;
    txString(piece);
}

}  // namespace

int DoAnimationAdd(char* line) {
    if (ExecState == kExecAnimation) return 0;
    const char* p = line + 3;
    if (*p == '+') ++p;
    p = skipBlanks(p);
    // One digit, so that "ani 12 ..." is not taken as slot 1 with the text "2 ...".
    if (*p < '0' || *p > '9' || (p[1] != 0 && p[1] != ' ' && p[1] != '\t')) return 0;
    const int n = *p - '0';
    AnimationSlot& s = dta[n];
    if (s.start && s.end + 1 != anibuf_ptr) return 0;
    char* text = line + (skipBlanks(p + 1) - line);
    killTrailingComment(text);
    const size_t len = std::strcspn(text, "\r\n");
    if (len + 1 > size_t(KV_AnimationFree())) {
        txString(":animation won't fit in storage\r");
        DeleteAnimation(n);
        return 0;
    }
    std::memcpy(anibuf_ptr, text, len);
    anibuf_ptr[len] = 0;
    if (!s.start) {
        s.start = anibuf_ptr;
        s.current = anibuf_ptr;
        s.state = kAniStopped;
    }
    s.end = anibuf_ptr + len;
    anibuf_ptr += len + 1;
    return 1;
}

int DeleteAnimation(int n) {
    if (ExecState == kExecAnimation || !valid_slot(n) || !dta[n].start) return 0;
    AnimationSlot& s = dta[n];
    char* const gone = s.start;
    const ptrdiff_t size = s.end + 1 - s.start;
    std::memmove(gone, s.end + 1, size_t(anibuf_ptr - (s.end + 1)));
    for (AnimationSlot& later : dta) {
        if (later.start > gone) {
            later.start -= size;
            later.end -= size;
            later.current -= size;
        }
    }
    anibuf_ptr -= size;
    s = AnimationSlot{};
    return 1;
}

int KV_StartAnimation(int n, bool requireYield) {
    if (!valid_slot(n)) return 0;
    AnimationSlot& s = dta[n];
    if (!s.start) return 1;
    if (requireYield && !yield_follows(s, s.start)) {
        txString(":animation must contain a yield\r");
        return 0;
    }
    s.state = 1;
    pass_within(1);
    return 1;
}

int KV_StopAnimationAt(int n, int k, bool textField) {
    if (!valid_slot(n)) return 0;
    AnimationSlot& s = dta[n];
    if (!s.start) return 1;
    int count = 0;
    for (char* p = s.start; p <= s.end; p += std::strlen(p) + 1) {
        if (!is_yield(p)) continue;
        if (count++ == k) {
            s.current = p;
            s.state = !textField ? kAniStopping : k != 0 ? kAniStopBeforeLast : kAniStopAtLast;
            return 1;
        }
    }
    s.state = kAniDue;
    return 1;
}

void KV_RestartAnimations() {
    for (AnimationSlot& s : dta) s.current = s.start;
    IrqGuard guard;
    if (animateTimer < 0) {
        animateTimer = 0;
        lastDelay = 0;
    }
}

int KV_AnimationFree() {
    return int(anibuf + kAnimationStoreSize - anibuf_ptr);
}

int KV_ListAnimation(int n) {
    if (!valid_slot(n)) return 0;
    const AnimationSlot& s = dta[n];
    if (!s.start) return 1;
    const int size = int(s.end - s.start + 1);
    if (s.state == kAniStopping) {
        perr("// ani:%d Stopping Size: %d\r", n, size);
    } else if (s.state == kAniStopped) {
        perr("// ani:%d Stopped Size: %d\r", n, size);
    } else {
        perr("// ani:%d count: %d Size: %d\r", n, int(s.state), size);
    }
    for (const char* p = s.start; p <= s.end; p += std::strlen(p) + 1) send_escaped_line(n, p);
    return 1;
}

int KV_TextField(int n, int period, const char* quotedText) {
    if (ExecState == kExecAnimation || !valid_slot(n)) return 0;
    if (dta[n].start) DeleteAnimation(n);
    const GUI_COLOR fg = swapRB(GUI_GetColor()) & 0xFFFFFF;
    const GUI_COLOR bg = swapRB(GUI_GetBkColor()) & 0xFFFFFF;
    const int align = GUI_GetTextAlign();
    const int cursorX = int(int64_t(GUI_GetDispPosX()) - Origin_X);
    const int cursorY = int(int64_t(GUI_GetDispPosY()) - Origin_Y);
    // Read now: the lines below are only stored, and the font may change before they run.
    const char* font = KV_GetCurrentFontName();
    char line[kLineSize];
    for (const GUI_COLOR colour : {fg, bg}) {
        const auto add = [&](const char* fmt, auto... args) {
            kv_snprintf(line, sizeof line, fmt, n, args...);
            return DoAnimationAdd(line) != 0;
        };
        if (!add("ani %d f %s", font) ||
            !add("ani %d S %06x %06x", unsigned(colour), unsigned(bg)) ||
            !add("ani %d ta %c%c", alignLetterH(align), alignLetterV(align)) ||
            !add("ani %d o %d %d", Origin_X, Origin_Y) ||
            !add("ani %d sc %d %d", cursorX, cursorY) || !add("ani %d tm N") ||
            !add("ani %d T %s", quotedText) || !add("ani %d y %d", period)) {
            return 0;
        }
    }
    return KV_StartAnimation(n, false);
}

void init_animation() {
    if (ExecState == kExecAnimation) return;
    for (AnimationSlot& s : dta) s = AnimationSlot{};
    anibuf_ptr = anibuf;
    IrqGuard guard;
    animateTimer = -1;
}

bool handle_animation() {
    if (animateTimer != 0 || ExecState == kExecAnimation) return false;
    const int oldExecState = ExecState;
    ExecState = kExecAnimation;
    bool saved = false;
    bool ran = false;
    int32_t next = kNoPass;
    bool active = false;
    const int32_t charged = lastDelay;
    for (AnimationSlot& s : dta) {
        if (!slot_active(s)) continue;
        if (s.state > 0) {
            s.state = std::max<int32_t>(0, s.state - charged);
            if (s.state > 0) {
                active = true;
                next = std::min(next, s.state);
                continue;
            }
        }
        ran |= walk(s, &saved);
        active |= slot_active(s);
        if (s.state > 0) next = std::min(next, s.state);
    }
    if (saved) RestoreState(&AniGDI);
    ExecState = oldExecState;
    if (ran) {
        // Lines may have started or stopped animations of slots already passed.
        next = kNoPass;
        active = false;
        for (const AnimationSlot& s : dta) {
            if (!slot_active(s)) continue;
            active = true;
            if (s.state > 0) next = std::min(next, s.state);
        }
    }
    // No guard needed: the tick leaves a timer at 0 alone, and it is 0 until this store.
    if (next != kNoPass) {
        animateTimer = next;
        lastDelay = next;
    } else if (!active) {
        animateTimer = -1;
    }
    return ran;
}
