#include "macro/macro.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/settings_record.h"
#include "base/text_helpers.h"
#include "device/board.h"
#include "macro/macro_env.h"
#include "macro/variables.h"
#include "media/ext_image.h"
#include "media/macro_table.h"
#include "settings/config_ini.h"

int macroDepth;
char macroQueuedLabel[kMacroLabelMax + 1];

namespace {

constexpr uint8_t kRs485On = 'Z';
constexpr const char* kRepeat = ":repeat";
constexpr size_t kRepeatLength = 7;
constexpr const char* kDefaultLabel = ":default";

int32_t macroQueued;
char macroQueuedArgs[kMacroArgsMax + 1];

void copy_bounded(char* dst, size_t size, const char* src) {
    size_t i = 0;
    if (src) {
        for (; i + 1 < size && src[i]; ++i) dst[i] = src[i];
    }
    dst[i] = 0;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Cuts the argument string into at most ten arguments, in place. A quoted argument runs to the
// next quote that no backslash escapes; the backslash stays, the quotes go.
void split_args(char* s, const char* argv[kMacroArgCount]) {
    for (int i = 0; i < kMacroArgCount; ++i) argv[i] = nullptr;
    for (char* t = s; *t; ++t) {
        if (*t == '\t') *t = ' ';
    }
    for (int n = 0; n < kMacroArgCount; ++n) {
        while (*s == ' ') ++s;
        if (!*s) return;
        char* start = s;
        if (*s == '"') {
            start = ++s;
            while (*s && !(*s == '"' && s[-1] != '\\')) ++s;
        } else {
            while (*s && *s != ' ') ++s;
        }
        if (*s) *s++ = 0;
        argv[n] = start;
    }
}

// A label line's label: its first 32 characters without a trailing comment and trailing white
// space.
void line_label(const char* line, char label[kMacroLabelMax + 1]) {
    copy_bounded(label, kMacroLabelMax + 1, line);
    killTrailingComment(label);
    size_t n = std::strlen(label);
    while (n && is_blank(label[n - 1])) label[--n] = 0;
}

bool same_label(const char* a, const char* b) {
    return std::strncmp(a, b, kMacroLabelMax) == 0;
}

void trace(int n, const char* line) {
    char indent[kMacroMaxDepth + 1];
    int at = 0;
    for (int i = 1; i < macroDepth && at < kMacroMaxDepth; ++i) indent[at++] = ' ';
    indent[at] = 0;
    txString(indent);
    char head[16];
    const char* name = KV_MacroName(n);
    if (name && *name) {
        kv_snprintf(head, sizeof head, "%d (", n);
        txString(head);
        txString(name);
        txString("): ");
    } else {
        kv_snprintf(head, sizeof head, "%d: ", n);
        txString(head);
    }
    txString(line);
    txString("\r");
}

// What one pass over the lines is looking for, and what it has seen.
struct Scan {
    bool searching;  // a label line has been seen
    bool matched;    // the requested label was found
    bool executed;   // a command ran since the start, the last restart or the match
};

}  // namespace

int processMacro(int n, const char* args, const char* label) {
    if (label && label[0] == ':' && label[1] >= '0' && label[1] <= '9') {
        pout(":label cannot begin with a digit\r");
        return 0;
    }
    MacroEntry entry;
    if (!KV_GetMacro(n, &entry)) {
        pout(":macro index %d not valid\r", n);
        return 0;
    }
    if (macroDepth >= kMacroMaxDepth) {
        if (macroVerbose == 1) pout(":maximum macro depth of %d exceeded\r", kMacroMaxDepth);
        return 0;
    }
    ++macroDepth;

    char argBuf[kMacroArgsMax + 1];
    copy_bounded(argBuf, sizeof argBuf, args);
    const char* argv[kMacroArgCount];
    split_args(argBuf, argv);
    char want[kMacroLabelMax + 1];
    copy_bounded(want, sizeof want, label);
    const bool labelWanted = want[0] != 0;

    char expanded[kMacroLineSize];
    char line[kMacroLineSize];
    char local_label[kMacroLabelMax + 1];
    int result = 0;
    Scan scan{};
    uint32_t at = entry.first_line;
    uint32_t index = 0;

    if (macroQueued) goto done;
    for (;;) {
        if (macroAbortRequested()) {
            pout(":aborting on *abt\r");
            break;
        }
        if (index == entry.line_count) {
            if (labelWanted && want[0] == ':' && !scan.matched) {
                pout(":label \"%s\" not found\r", want);
                result = 0;
            }
            break;
        }
        // The lines are looked up again on every pass: a command of this macro may have
        // replaced the file they were in.
        const char* text = ExtMem_String(at);
        if (!text) break;
        at += uint32_t(std::strlen(text)) + 1;
        ++index;
        board_checkpoint(Work::kMacroLine);
        while (is_blank(*text)) ++text;
        if (!*text || *text == '\r') continue;

        const bool repeat = std::strncmp(text, kRepeat, kRepeatLength) == 0;
        const bool isLabel = text[0] == ':' && !repeat;
        if (isLabel) line_label(text, local_label);

        if (!scan.searching && !scan.matched) {
            if (isLabel) {
                if (labelWanted && same_label(local_label, want)) {
                    scan.matched = true;
                    scan.executed = false;
                } else if (!labelWanted) {
                    break;
                } else {
                    scan.searching = true;
                }
                continue;
            }
        } else if (!scan.matched) {
            if (isLabel && (same_label(local_label, want) || same_label(local_label, kDefaultLabel))) {
                scan.matched = true;
                scan.executed = false;
            }
            continue;
        } else if (isLabel) {
            // Labels written one under another share the section that follows them.
            if (scan.executed) break;
            continue;
        }

        if (repeat) {
            if (eepromData.rs485Mode != kRs485On && macroEscapeWaiting()) {
                pout(":aborting on Escape\r");
                break;
            }
            if (macroQueued) break;
            scan = Scan{};
            at = entry.first_line;
            index = 0;
            continue;
        }
        expandVariables(expanded, sizeof expanded, text, argv);
        if (!killTrailingComment(expanded)) continue;
        processMath(line, sizeof line, expanded);
        if (macroVerbose) trace(n, line);
        const int r = parse_command(line);
        board_checkpoint(Work::kCommandLine);
        scan.executed = true;
        if (r == kCmdFailed) {
            result = 0;
            break;
        }
        result = r;
        macroServeTouch();
        if (macroQueued) break;
    }
done:
    --macroDepth;
    if (!scan.executed) pout(":no macro commands processed\r");
    return result;
}

// ---------------------------------------------------------------------------------------------
// Numbers and names

int convertStringtoIndexMacro(const char* text, int* n) {
    if (!text) text = "";
    if (*text >= '0' && *text <= '9') {
        int32_t value = 0;
        // Digits beyond what a macro number can be only need to stay out of range.
        for (; *text >= '0' && *text <= '9'; ++text) {
            value = value > 100000 ? value : value * 10 + (*text - '0');
        }
        *n = int(value);
        return 1;
    }
    switch (KV_MacroRecordState()) {
        case MacroRecordState::kNoImage:
            pout(":Macro external memory record not found\r");
            *n = -3;
            return 0;
        case MacroRecordState::kNoMacros:
            pout(":No macros loaded\r");
            *n = -2;
            return 0;
        case MacroRecordState::kPresent:
            break;
    }
    if (!KV_MacroNamesPresent()) {
        pout(":Macro meta table not loaded\r");
        pout(":Macro call-by-name not supported\r");
        *n = -1;
        return 0;
    }
    if (*text == '/') {
        *n = 0;
        return 1;
    }
    const bool letter = (*text >= 'a' && *text <= 'z') || (*text >= 'A' && *text <= 'Z');
    if (!letter && *text != '_') {
        pout(":Macro name has improper form\r");
        *n = -4;
        return 0;
    }
    const int count = KV_MacroCount();
    for (int k = 0; k <= count; ++k) {
        const char* name = KV_MacroName(k);
        if (!name) break;
        if (std::strcmp(name, text) == 0) {
            *n = k;
            return 1;
        }
    }
    pout(":Macro name not found\r");
    *n = 0;
    return 0;
}

const char* convertIndextoStringMacro(int* n) {
    switch (KV_MacroRecordState()) {
        case MacroRecordState::kNoImage:
            pout(":Macro external memory record not found\r");
            *n = -3;
            return nullptr;
        case MacroRecordState::kNoMacros:
            pout(":No macros loaded\r");
            *n = -2;
            return nullptr;
        case MacroRecordState::kPresent:
            break;
    }
    if (!KV_MacroNamesPresent()) {
        *n = -1;
        return nullptr;
    }
    if (*n < 1 || *n > KV_MacroCount()) return nullptr;
    return KV_MacroName(*n);
}

int formatMacroNameString(const char* text, char* name, size_t size, const char** rest) {
    while (is_blank(*text)) ++text;
    const char* colon = std::strchr(text, ':');
    size_t length;
    if (colon) {
        length = size_t(colon - text);
        *rest = colon;
    } else {
        length = 0;
        while (text[length] && !is_blank(text[length])) ++length;
        *rest = text[length] ? text + length + 1 : text + length;
    }
    if (size) {
        if (length >= size) length = size - 1;
        std::memcpy(name, text, length);
        name[length] = 0;
    }
    return colon ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// The queue

void scheduleMacro(int n, const char* args) {
    if (n == 0) return;
    macroQueued = n;
    if (n < kMacroQueuedKeepArgs) copy_bounded(macroQueuedArgs, sizeof macroQueuedArgs, args);
}

int pendingMacro() {
    return macroQueued >= kMacroQueuedKeepArgs ? macroQueued - kMacroQueuedKeepArgs : macroQueued;
}

void processScheduledMacro() {
    const int n = pendingMacro();
    macroQueued = 0;
    if (!n) return;
    char args[kMacroArgsMax + 1];
    char label[kMacroLabelMax + 1];
    copy_bounded(args, sizeof args, macroQueuedArgs);
    copy_bounded(label, sizeof label, macroQueuedLabel);
    processMacro(n, args, label);
}

void KV_Macro_Init() {
    macroDepth = 0;
    macroQueued = 0;
    macroQueuedArgs[0] = 0;
    macroQueuedLabel[0] = 0;
}
