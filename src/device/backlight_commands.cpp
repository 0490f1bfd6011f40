#include "device/backlight_commands.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/level_arg.h"
#include "base/scan.h"
#include "base/settings_record.h"
#include "base/text_helpers.h"
#include "device/backlight.h"
#include "device/display.h"

namespace {

// "*field %d": store the value (through apply) and save, or report the field.
int setting_command(const char* args, uint8_t& field, uint8_t (*convert)(int), void (*apply)()) {
    int value;
    if (kv_sscanf(args, "%d", &value) != 1) {
        txNumber(field);
        return kCmdDone;
    }
    field = convert(value);
    if (apply) apply();
    KV_EEPROM_Save();
    return kCmdDone;
}

uint8_t low_byte(int v) {
    return uint8_t(v & 0xFF);
}
uint8_t low_bit(int v) {
    return uint8_t(v & 1);
}

}  // namespace

int row_xbl(char* line) {
    if (prefix(line, "xbl on")) {
        KV_External_Inverter_On();
        return kCmdDone;
    }
    if (prefix(line, "xbl of")) {
        KV_External_Inverter_Off();
        return kCmdDone;
    }
    return kNoMatch;
}

int row_video(char* line) {
    if (prefix(line, "v on")) {
        KV_Display_On();
        return kCmdDone;
    }
    if (prefix(line, "v of")) {
        KV_Display_Off();
        return kCmdDone;
    }
    return kNoMatch;
}

int row_xbb(char* line) {
    if (!prefix(line, "xbb")) return kNoMatch;
    const char* args = line + 3;
    const bool save = *args != 's';
    if (!save) ++args;
    if (onlyBlanks(args)) {
        txNumber(eepromData.brite);
        return kCmdDone;
    }
    int value;
    if (!readLevel(args, eepromData.brite, &value)) return kCmdFailed;
    KV_Brite_Set(value);
    if (save) KV_EEPROM_Save();
    return kCmdDone;
}

int row_brite_limits(char* line) {
    if (prefix(line, "*maxBrite"))
        return setting_command(line + 9, eepromData.maxBrite, low_byte, nullptr);
    if (prefix(line, "*minBrite"))
        return setting_command(line + 9, eepromData.minBrite, low_byte, nullptr);
    if (prefix(line, "*invEnaHiTrue")) {
        return setting_command(line + 13, eepromData.invEnaHiTrue, low_bit,
                               KV_External_Inverter_On);
    }
    if (prefix(line, "*pwmIsEnable")) {
        return setting_command(line + 12, eepromData.pwmIsEnable, low_bit, setLCDpwmClock);
    }
    return kNoMatch;
}
