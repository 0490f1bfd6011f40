#include "settings/eeprom_commands.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "device/board.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t kAddressMask = 0xFFFF;  // the EEPROM takes two address bytes
constexpr int kDumpBytesPerLine = 8;

char dump_char(uint8_t c) {
    return (c >= 0x21 && c <= 0x79) ? char(c) : '.';
}

void reply_byte(uint32_t address, uint8_t value) {
    const unsigned a = unsigned(address);
    if (a <= 0xFF)
        kv_snprintf(out_buffer, sizeof out_buffer, "%02X = %02X\r", a, value);
    else
        kv_snprintf(out_buffer, sizeof out_buffer, "%04x = %02X\r", a, value);
    txString(out_buffer);
}

int user_read(const char* args, bool compact) {
    unsigned a;
    if (kv_sscanf(args, "%x", &a) != 1) return kCmdFailed;
    a &= kEepromUserAreaSize - 1;
    const uint8_t v = EEpromRead(kEepromUserArea + a);
    if (compact)
        kv_snprintf(out_buffer, sizeof out_buffer, "%02X\r", v);
    else
        kv_snprintf(out_buffer, sizeof out_buffer, "%02X = %02X\r", a, v);
    txString(out_buffer);
    return kCmdDone;
}

int user_write(const char* args, bool quiet) {
    unsigned a, v;
    if (kv_sscanf(args, "%x %x", &a, &v) != 2) return kCmdFailed;
    a &= kEepromUserAreaSize - 1;
    const uint8_t value = uint8_t(v);
    if (EEpromRead(kEepromUserArea + a) != value) EEpromWrite(kEepromUserArea + a, value);
    const uint8_t back = EEpromRead(kEepromUserArea + a);
    if (!quiet) {
        kv_snprintf(out_buffer, sizeof out_buffer, "%02X = %02X\r", a, back);
        txString(out_buffer);
    }
    return kCmdDone;
}

int dump_copy_a() {
    for (uint32_t line = 0; line < kSettingsSize; line += kDumpBytesPerLine) {
        uint8_t bytes[kDumpBytesPerLine];
        for (int i = 0; i < kDumpBytesPerLine; ++i) bytes[i] = EEpromRead(kEepromCopyA + line + i);
        int n = kv_snprintf(out_buffer, sizeof out_buffer, "%02X:", unsigned(line));
        for (int i = 0; i < kDumpBytesPerLine; ++i) {
            n += kv_snprintf(out_buffer + n, sizeof out_buffer - n, " %02X", bytes[i]);
        }
        out_buffer[n++] = ' ';
        for (int i = 0; i < kDumpBytesPerLine; ++i) out_buffer[n++] = dump_char(bytes[i]);
        out_buffer[n++] = '\r';
        out_buffer[n] = 0;
        txString(out_buffer);
    }
    return kCmdDone;
}

}  // namespace

int row_eeprom(char* line) {
    if (std::strncmp(line, "*ee", 3) != 0) return kNoMatch;
    switch (line[3]) {
        case 'r':
            return line[4] == 'c' ? user_read(line + 5, true) : user_read(line + 4, false);
        case 'w':
            return line[4] == 'c' ? user_write(line + 5, true) : user_write(line + 4, false);
        case 'd':
            return dump_copy_a();
        case 'c': {
            int area;
            if (kv_sscanf(line, "%*s%d", &area) == 1) {
                KV_EEPROM_Clear(area);
            } else {
                KV_EEPROM_Clear(1);
                KV_EEPROM_Clear(2);
            }
            return kCmdDone;
        }
        case 's':
            return KV_EEPROM_Save();
        default:
            return kNoMatch;
    }
}

int row_eel(char* line) {
    if (std::strncmp(line, "*ee", 3) != 0) return kNoMatch;
    KV_EEPROM_Load(kEepromCopyA);
    return kCmdDone;
}

int row_i2c(char* line) {
    unsigned a, v;
    if (kv_sscanf(line, "i2c read %x", &a) == 1) {
        a &= kAddressMask;
        reply_byte(a, EEpromRead(a));
        return kCmdDone;
    }
    if (kv_sscanf(line, "i2c write %x %x", &a, &v) == 2) {
        a &= kAddressMask;
        EEpromWrite(a, uint8_t(v));
        reply_byte(a, uint8_t(v));
        return kCmdDone;
    }
    return kNoMatch;
}
