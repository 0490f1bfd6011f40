#include "command/beeper_rows.h"

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/level_arg.h"
#include "base/scan.h"
#include "base/settings_record.h"
#include "base/text_helpers.h"
#include "device/beeper.h"
#include "device/board.h"
#include "touch/hotspots.h"

int row_beep(char* line) {
    unsigned ms;
    if (kv_sscanf(line, "beepw %u", &ms) == 1) {
        BeepImmediate(ms);
        // The press beeps of hotspots touched meanwhile restart the beep, and the wait with it.
        while (BeepSingleActive()) {
            handle_touch();
            board_idle();
        }
        return kCmdDone;
    }
    if (kv_sscanf(line, "beep %u", &ms) == 1) {
        BeepImmediate(ms);
        return kCmdDone;
    }
    return kNoMatch;
}

int row_alarm(char* line) {
    int type;
    unsigned ms;
    if (kv_sscanf(line, "al %d %u", &type, &ms) != 2) return kNoMatch;
    // Checked before AlarmSet, so that a refused type leaves a running alarm alone.
    if (type < 1 || type > 3) return kCmdFailed;
    AlarmSet(uint32_t(type));
    BeepImmediate(ms);
    return kCmdDone;
}

int row_beep_volume(char* line) {
    if (!prefix(line, "bv")) return kNoMatch;
    const char* args = line + 2;
    const bool save = *args != 's';
    if (!save) ++args;
    if (onlyBlanks(args)) {
        txNumber(GetBeepVolume());
        return kCmdDone;
    }
    int value;
    if (!readLevel(args, GetBeepVolume(), &value)) return kCmdFailed;
    SetBeepVolume(uint32_t(value));
    if (save) KV_EEPROM_Save();
    return kCmdDone;
}

int row_beep_freq(char* line) {
    if (!prefix(line, "bf")) return kNoMatch;
    unsigned f;
    if (kv_sscanf(line, "bfs %u", &f) == 1) {
        BeepFrequency(f);
        return kCmdDone;
    }
    if (kv_sscanf(line, "bf %u", &f) == 1) {
        BeepFrequency(f);
        KV_EEPROM_Save();
        return kCmdDone;
    }
    if (!onlyBlanks(line + 2)) return kCmdFailed;
    txNumber(int(GetBeepFrequency()));
    return kCmdDone;
}

int row_speaker(char* line) {
    if (exact(line, "*spkr")) {
        txString(GetExtSpeaker() ? "on\r" : "off\r");
        return kCmdDone;
    }
    if (prefix(line, "*spkr on") || prefix(line, "*spkr off")) {
        SetExtSpeaker(line[7] == 'n' ? 1 : 0);
        KV_EEPROM_Save();
        return kCmdDone;
    }
    return kNoMatch;
}

int row_beep_misc(char* line) {
    unsigned a, b;
    int type;
    if (kv_sscanf(line, "bMaX %u", &a) == 1) {
        BeepMaxSet(a);
        KV_EEPROM_Save();
        return kCmdDone;
    }
    if (kv_sscanf(line, "bb %u", &a) == 1) {
        KV_Touch_SetBeepMS(int(a * 10u));
        return kCmdDone;
    }
    const int n = kv_sscanf(line, "rb %u %u %d", &a, &b, &type);
    if (n < 2) return kNoMatch;
    AlarmSet(n == 3 ? uint32_t(type) : 0);
    BeepRepeat(a, b);
    return kCmdDone;
}
