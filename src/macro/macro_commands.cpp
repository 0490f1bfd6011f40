#include "macro/macro_commands.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/settings_record.h"
#include "base/text_helpers.h"
#include "macro/macro.h"
#include "media/bitmaps.h"
#include "media/macro_table.h"

namespace {

constexpr uint8_t kBinaryMacroLead = 0x82;
constexpr int kNoPonMacro = 255;
constexpr uint8_t kBannerShown = 0xFF;
constexpr int kWordSize = 64;
constexpr int kMaxSplashIndex = 255;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// A label right after the macro ("m5:x3 a b"): up to 32 characters of it, to the first white
// space; *args moves past it and the white space after it.
void take_label(const char** args, char label[kMacroLabelMax + 1]) {
    const char* s = *args;
    int n = 0;
    while (s[n] && !is_blank(s[n])) {
        if (n < kMacroLabelMax) label[n] = s[n];
        ++n;
    }
    label[n < kMacroLabelMax ? n : kMacroLabelMax] = 0;
    *args = skipBlanks(s + n);
}

int result_of(int r) {
    return r ? r : kCmdFailed;
}

int pon_macro(char* line) {
    const char* rest = skipBlanks(line + 7);
    if (!*rest) {
        txNumber(eepromData.ponMacro);
        return kCmdDone;
    }
    char word[kWordSize];
    int banner;
    const int items = kv_sscanf(line, "*PONMAC %63s %d", word, &banner);
    if (items < 1) return kCmdFailed;
    int n;
    if (!convertStringtoIndexMacro(word, &n)) return kCmdFailed;
    if (n == 0 || n == kNoPonMacro) {
        eepromData.ponMacro = 0;
        eepromData.bannerOff = kBannerShown;
    } else {
        if (!KV_MacroExists(n)) return kCmdFailed;
        eepromData.ponMacro = uint8_t(n);
    }
    if (items == 2) {
        if (banner == 1) eepromData.bannerOff = kFlagOn;
        txNumber(eepromData.ponMacro);
    }
    KV_EEPROM_Save();
    return kCmdDone;
}

int demo_macro(char* line) {
    const char* rest = skipBlanks(line + 8);
    if (!*rest) {
        txNumber(eepromData.demoMacro);
        return kCmdDone;
    }
    char word[kWordSize];
    if (kv_sscanf(line, "*DEMOMAC %63s", word) != 1) return kCmdFailed;
    int n;
    if (!convertStringtoIndexMacro(word, &n) || !KV_MacroExists(n)) return kCmdFailed;
    eepromData.demoMacro = uint8_t(n);
    KV_EEPROM_Save();
    return kCmdDone;
}

// "*SPL n": stored bitmap n becomes the start-up splash (0: none); "*SPL" reports it. The
// index is a byte in the settings: a larger n would name another bitmap at the next start.
int splash(char* line) {
    int n;
    if (kv_sscanf(line, "*SPL %d", &n) != 1) {
        txNumber(eepromData.splashEnable == kFlagOn ? eepromData.splashIndex : 0);
        return kCmdDone;
    }
    if (n == 0) {
        eepromData.splashIndex = 0;
        eepromData.splashEnable = 0;
    } else {
        BitmapHandle b;
        if (n < 0 || n > kMaxSplashIndex || !KV_GetExtBitmap(n, &b)) return kCmdFailed;
        eepromData.splashIndex = uint8_t(n);
        eepromData.splashEnable = kFlagOn;
    }
    KV_EEPROM_Save();
    return kCmdDone;
}

}  // namespace

int row_macro_run(char* line) {
    if (uint8_t(line[0]) == kBinaryMacroLead && line[1] == 'M') {
        return result_of(processMacro(uint8_t(line[2]), nullptr, nullptr));
    }
    if (line[0] != 'm') return kNoMatch;
    char label[kMacroLabelMax + 1] = "";
    int n;
    const char* args;
    if (kv_sscanf(line, "m%d", &n) == 1 && n != 0) {
        const char* p = line + 1;
        while (*p && !is_digit(*p)) ++p;
        while (is_digit(*p)) ++p;
        // "m5:x3" starts at label :x3; in "m 5 :x3" the :x3 is the first argument.
        if (*p == ':') {
            args = p;
            take_label(&args, label);
        } else {
            args = skipBlanks(p);
        }
    } else if (is_blank(line[1])) {
        char name[kWordSize];
        formatMacroNameString(line + 1, name, sizeof name, &args);
        if (!convertStringtoIndexMacro(name, &n)) return kCmdFailed;
        args = skipBlanks(args);
        if (*args == ':') take_label(&args, label);
    } else {
        return kNoMatch;
    }
    return result_of(processMacro(n, args, label));
}

int row_start_macros(char* line) {
    if (prefix(line, "*PONMAC")) return pon_macro(line);
    if (prefix(line, "*DEMOMAC")) return demo_macro(line);
    if (prefix(line, "*SPL")) return splash(line);
    return kNoMatch;
}
