#include "core/system_commands.h"

#include <cstring>

#include "base/format.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "core/main_loop.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "device/timebase.h"
#include "settings/config_ini.h"
#include "settings/settings.h"
#include "touch/hotspots.h"

namespace {

constexpr char kEsc = 27;

const char* notify_mode_name(uint8_t mode) {
    switch (mode) {
        case kMacroNotifyStart:
            return "start\r";
        case kMacroNotifyEnd:
            return "end\r";
        case kMacroNotifyBoth:
            return "both\r";
        default:
            return "off\r";
    }
}

}  // namespace

int row_vers(char* line) {
    if (!prefix(line, "vers")) return kNoMatch;
    char version[kVersionTextSize];
    KV_Copy_Version(version);
    kv_snprintf(out_buffer, sizeof out_buffer, "%s\r", version);
    txString(out_buffer);
    return kCmdDone;
}

int row_notes(char* line) {
    int value;
    if (kv_sscanf(line, "*macdebug %d", &value) == 1) {
        macroVerbose = uint8_t(value);
        return kCmdDone;
    }
    if (kv_sscanf(line, "*binr %d", &value) == 1) {
        binaryResponses = uint8_t(value);
        txString(value == 1 ? "on\r" : "off\r");
        return kCmdDone;
    }
    if (prefix(line, "*macnote")) {
        if (kv_sscanf(line + 8, "%d", &value) == 1) macroNotify = uint8_t(value);
        txString(notify_mode_name(macroNotify));
        return kCmdDone;
    }
    return kNoMatch;
}

int row_ignored(char* line) {
    int number;
    char c[3];
    if (kv_sscanf(line, "sb %d", &number) == 1) return kCmdDone;
    if (std::strcmp(line, "su") == 0) return kCmdDone;
    if (kv_sscanf(line, "SB %c%c%c", &c[0], &c[1], &c[2]) == 3) return kCmdDone;
    if (std::strcmp(line, "SU") == 0) return kCmdDone;
    return kNoMatch;
}

int row_prompt_test(char* line) {
    if (std::strcmp(line, "*SERR") == 0) return kCmdFailed;
    if (std::strcmp(line, "*IERR") == 0) return kCmdHash;
    return kNoMatch;
}

int row_comment(char* line) {
    return line[0] == '/' && line[1] == '/' ? kCmdDone : kNoMatch;
}

int row_reset(char* line) {
    if (prefix(line, "*MFGRESET")) {
        KV_EEPROM_Clear(1);
        KV_EEPROM_Clear(2);
        KV_EEPROM_Clear(0);
        reset_cpu();
    }
    if (prefix(line, "*RESET")) reset_cpu();
    return kNoMatch;
}

int row_panel(char* line) {
    if (std::strcmp(line, "*panel") != 0) return kNoMatch;
    if (eepromData.config[0]) {
        kv_snprintf(out_buffer, sizeof out_buffer, "%.*s\r", int(kConfigNameSize),
                    eepromData.config);
    } else {
        kv_snprintf(out_buffer, sizeof out_buffer, "%s\r", panel::kBuild.panel_name);
    }
    txString(out_buffer);
    return kCmdDone;
}

int row_config(char* line) {
    if (prefix(line, "*config \"")) {
        char* text = escstr(line + 8, '"', nullptr);
        if (!text) return kCmdFailed;
        // At most 31 characters and the terminator: the name stays a C string in the record.
        std::strncpy(eepromData.config, text, kConfigNameSize - 1);
        eepromData.config[kConfigNameSize - 1] = 0;
        KV_EEPROM_Save();
        return kCmdDone;
    }
    if (!prefix(line, "*config")) return kNoMatch;
    if (eepromData.config[0]) {
        kv_snprintf(out_buffer, sizeof out_buffer, "%.*s\r", int(kConfigNameSize),
                    eepromData.config);
    } else {
        kv_snprintf(out_buffer, sizeof out_buffer, "(not set)\r");
    }
    txString(out_buffer);
    return kCmdDone;
}

int row_firmware(char* line) {
    if (!prefix(line, "*firmware")) return kNoMatch;
    char tag[sizeof eepromData.firmwareTag + 1];
    for (size_t i = 0; i < sizeof eepromData.firmwareTag; ++i) {
        const uint8_t c = uint8_t(eepromData.firmwareTag[i]);
        tag[i] = (c >= 0x20 && c <= 0x7E) ? char(c) : '?';
    }
    tag[sizeof eepromData.firmwareTag] = 0;
    kv_snprintf(out_buffer, sizeof out_buffer, "\"%s\"\r", tag);
    txString(out_buffer);
    return kCmdDone;
}

int row_ctype(char* line) {
    if (!prefix(line, "*ctype")) return kNoMatch;
    txString("1\r");
    return kCmdDone;
}

int row_wait(char* line) {
    unsigned ms;
    if (kv_sscanf(line, "w %u", &ms) != 1) return kNoMatch;
    gpTimer = ms;
    while (gpTimer) {
        handle_touch();
        if (!rs485Active() && lineWaitingStartsWith(kEsc)) break;
        board_idle();
    }
    return kCmdDone;
}

int row_led(char* line) {
    char word[10];
    if (kv_sscanf(line, "led %9s", word) != 1) return kNoMatch;
    if (exact(word, "sys")) {
        // The main loop lights it again for the next host line or touch-queued macro.
        userLedState = 0;
    } else if (exact(word, "on") || exact(word, "off")) {
        userLedState = 1;
        Led(word[1] == 'n');
    } else {
        return kCmdFailed;
    }
    return kCmdNoPrompt;
}
