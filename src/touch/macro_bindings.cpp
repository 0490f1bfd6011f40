#include "touch/macro_bindings.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "macro/hotspot_macros.h"
#include "macro/macro.h"
#include "media/ext_image.h"
#include "media/ext_listing.h"
#include "media/macro_table.h"
#include "touch/hotspots.h"

namespace {

constexpr int kWordSize = 64;  // a word of "xm" and its NUL

bool plain_type(int type) {
    return type >= kSpotInverting && type <= kSpotMomentaryButton;
}

bool defined(int spot) {
    return spot >= 0 && spot <= kLastHotSpot && TouchHotSpots[spot].type != kSpotFree;
}

// The label a hotspot event is expected to carry; empty for types without labels.
void expected_label(int spot, int event, char* out, int size) {
    const int type = TouchHotSpots[spot].type;
    if (plain_type(type)) {
        kv_snprintf(out, size_t(size), event ? ":x%d" : ":r%d", spot);
    } else if (type == kSpotToggleButton) {
        kv_snprintf(out, size_t(size), ":s%d_%d", spot, event);
    } else {
        out[0] = 0;
    }
}

// Resolves one macro word of "xm": name or number, with an optional label checked against the
// hotspot. Without a label the event's label flag is cleared, so a touch starts at the top.
bool bind_word(int spot, const char* word, int event, int* n) {
    char name[kWordSize];
    const char* label;
    const int hasLabel = formatMacroNameString(word, name, sizeof name, &label);
    if (!convertStringtoIndexMacro(name, n)) return false;
    const uint8_t flag = event ? kTouchPressLabel : kTouchReleaseLabel;
    if (hasLabel) {
        if (!checkQueuedMacroLabel(spot, label, event)) return false;
    } else {
        TouchHotSpots[spot].touchState &= uint8_t(~flag);
    }
    return true;
}

void list_macro(int k) {
    MacroEntry e;
    char head[24];
    if (!KV_GetMacro(k, &e)) {
        kv_snprintf(head, sizeof head, "  #%d: (not valid)\r", k);
        txString(head);
        return;
    }
    const char* name = KV_MacroName(k);
    kv_snprintf(head, sizeof head, "  #%d:", e.shown_number);
    txString(head);
    if (name && *name) {
        txString(" ");
        txString(name);
    }
    txString("\r");
    uint32_t at = e.first_line;
    for (uint32_t i = 0; i < e.line_count; ++i) {
        const char* line = ExtMem_String(at);
        if (!line) break;
        at += uint32_t(std::strlen(line)) + 1;
        txString("    '");
        txString(line);
        txString("'\r");
    }
}

void list_bindings() {
    bool first = true;
    char text[24];
    for (int spot = 0; spot <= kLastHotSpot; ++spot) {
        const HotSpot& h = TouchHotSpots[spot];
        if (h.type == kSpotFree || (!h.pressMacro && !h.releaseMacro)) continue;
        if (first) txString("\rButton -> macro (args):\r");
        first = false;
        kv_snprintf(text, sizeof text, "    %3d ->", spot);
        txString(text);
        const struct {
            const char* word;
            int macro;
            int isPress;
        } events[] = {{" press: ", h.pressMacro, 1}, {" release: ", h.releaseMacro, 0}};
        for (const auto& ev : events) {
            if (!ev.macro) continue;
            const char* args = getMacroArgs(spot, ev.isPress);
            kv_snprintf(text, sizeof text, "%s%d (", ev.word, ev.macro);
            txString(text);
            txString(args ? args : "");
            txString(")");
        }
        txString("\r");
    }
}

// Splits off the next word (at spaces and tabs); null when none is left.
char* next_word(char** s) {
    char* p = skipLeadingWhitespace(*s);
    if (!p || !*p) return nullptr;
    char* w = p;
    while (*p && *p != ' ' && *p != '\t') ++p;
    if (*p) *p++ = 0;
    *s = p;
    return w;
}

}  // namespace

const char* setQueuedMacroLabel(int spot, int event) {
    macroQueuedLabel[0] = 0;
    if (spot < 0 || spot > kLastHotSpot) return macroQueuedLabel;
    const HotSpot& h = TouchHotSpots[spot];
    const bool pressLabel = (h.touchState & kTouchPressLabel) != 0;
    const bool releaseLabel = (h.touchState & kTouchReleaseLabel) != 0;
    const bool wanted = plain_type(h.type) || h.type == kSpotToggleButton
                            ? (event ? pressLabel : releaseLabel)
                            : false;
    if (wanted) expected_label(spot, event, macroQueuedLabel, sizeof macroQueuedLabel);
    return macroQueuedLabel;
}

int checkQueuedMacroLabel(int spot, const char* label, int event) {
    HotSpot& h = TouchHotSpots[spot];
    if (!plain_type(h.type) && h.type != kSpotToggleButton) {
        pout(":no macro label support for hotspot type %d\r", int(h.type));
        return 0;
    }
    char expected[kMacroLabelMax + 1];
    expected_label(spot, event, expected, sizeof expected);
    if (std::strncmp(label, expected, std::strlen(expected)) != 0) {
        pout(":xm label should be %s\r", expected);
        return 0;
    }
    h.touchState |= event ? kTouchPressLabel : kTouchReleaseLabel;
    return 1;
}

int row_macro_bind(char* line) {
    if (!prefix(line, "xm")) return kNoMatch;
    const bool quiet = line[2] == 'q';
    const char* args = line + (quiet ? 3 : 2);
    int spot;
    char press[kWordSize], release[kWordSize];
    const int words = kv_sscanf(args, "%d %63s %63s", &spot, press, release);
    if (words < 2) return kNoMatch;
    if (!defined(spot)) return kCmdFailed;
    HotSpot& h = TouchHotSpots[spot];
    int pressMacro;
    if (!bind_word(spot, press, 1, &pressMacro)) return kCmdFailed;
    if (pressMacro == 0) {
        h.pressMacro = h.releaseMacro = 0;
        h.options |= kOptReportEnable;
        return kCmdDone;
    }
    if (!KV_MacroExists(pressMacro)) return kCmdFailed;
    int releaseMacro = 0;
    if (words == 3) {
        if (!bind_word(spot, release, 0, &releaseMacro)) return kCmdFailed;
        if (releaseMacro != 0 && !KV_MacroExists(releaseMacro)) return kCmdFailed;
    } else {
        h.touchState &= uint8_t(~kTouchReleaseLabel);
    }
    h.pressMacro = uint8_t(pressMacro);
    h.releaseMacro = uint8_t(releaseMacro);
    h.options |= kOptReportEnable;
    if (quiet) h.options &= uint8_t(~kOptReportEnable);
    return kCmdDone;
}

int row_macro_args(char* line) {
    if (!prefix(line, "xa")) return kNoMatch;
    if (exact(line, "xa")) {
        perr("%d\r", getMacroArgBytesAvailable());
        return kCmdDone;
    }
    const bool quiet = line[2] == 'q';
    char* p = line + (quiet ? 3 : 2);
    if (*p != ' ' && *p != '\t') return kNoMatch;
    char* spotWord = next_word(&p);
    char* event = next_word(&p);
    char* macro = next_word(&p);
    if (!spotWord || !event || !macro) return kCmdFailed;
    int spot;
    if (kv_sscanf(spotWord, "%d", &spot) != 1 || spot < 0 || spot > kLastHotSpot) {
        return kCmdFailed;
    }
    const int isPress = exact(event, "p") || exact(event, "1");
    int n;
    if (!convertStringtoIndexMacro(macro, &n)) return kCmdFailed;
    HotSpot& h = TouchHotSpots[spot];
    uint8_t& slot = isPress ? h.pressMacro : h.releaseMacro;
    if (n == 0) {
        slot = 0;
        return kCmdDone;
    }
    if (!KV_MacroExists(n)) return kCmdFailed;
    const char* text = skipLeadingWhitespace(p);
    if (!assignMacroArgs(spot, isPress, text ? text : "")) return kCmdFailed;
    slot = uint8_t(n);
    h.options |= kOptReportEnable;
    if (quiet) h.options &= uint8_t(~kOptReportEnable);
    return kCmdDone;
}

int row_list(char* line) {
    if (!prefix(line, "ls")) return kNoMatch;
    if (!prefix(line, "lsmac")) return KV_ListRecords(line);
    if (!ExtMem_Valid()) {
        txString(":External Memory not valid\r");
        return kCmdFailed;
    }
    int n;
    if (kv_sscanf(line, "lsmac %d", &n) == 1) {
        if (n < 1 || n > KV_MacroCount()) {
            txString(":index outside valid range\r");
            return kCmdFailed;
        }
        txString("Macro Definition\r");
        list_macro(n);
        return kCmdDone;
    }
    txString("Macro Definitions\r");
    const int count = KV_MacroCount();
    for (int k = 1; k <= count; ++k) list_macro(k);
    list_bindings();
    return kCmdDone;
}
