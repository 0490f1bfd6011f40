#include "core/port_commands.h"

#include <cstring>

#include "base/format.h"
#include "base/hex.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "core/serial.h"
#include "settings/settings.h"

namespace {

// The raw quoted text of the "s" forms: up to the next quote, no escapes, never empty.
char* raw_quoted(char* line) {
    char* rest = nullptr;
    strtokr(line, '"', &rest);
    if (!rest) return nullptr;
    char* after = nullptr;
    return strtokr(rest, '"', &after);
}

enum class BaudMode { kNow, kAfterPrompt, kSaved };

void set_port_rate(int port, uint32_t rate) {
    if (port == 0)
        KV_COM_BaudRate(rate);
    else
        KV_AUX_BaudRate(rate);
}

int baud_command(const char* args, BaudMode mode) {
    char which = ' ';
    unsigned long rate = 0;
    const int n = kv_sscanf(args, "%c %lu", &which, &rate);
    const int port = which == '0' ? 0 : which == '1' ? 1 : hostPort();
    if (n < 2) {
        txNumber(long(KV_COM_getBaud(port)));
        return kCmdDone;
    }
    if (!KV_BaudSupported(uint32_t(rate))) {
        if (mode == BaudMode::kSaved) KV_save_baudrate_eeprom(port, uint32_t(rate));
        return kCmdFailed;
    }
    if (mode == BaudMode::kNow) {
        set_port_rate(port, uint32_t(rate));
        return kCmdDone;
    }
    // The prompt leaves at the old rate, completely, before the line changes speed.
    txString(">\r");
    txWait();
    set_port_rate(port, uint32_t(rate));
    if (mode == BaudMode::kSaved) KV_save_baudrate_eeprom(port, uint32_t(rate));
    return kCmdNoPrompt;
}

}  // namespace

int row_rs485(char* line) {
    if (!prefix(line, "*rs485")) return kNoMatch;
    if (prefix(line, "*rs485 off")) {
        kv_snprintf(out_buffer, sizeof out_buffer, "RS485 OFF ADR %02X\r", eepromData.rs485Addr);
        txString(out_buffer);
        eepromData.rs485Mode = kUnset;
        eepromData.rs485Addr = kUnset;
        KV_EEPROM_Save();
        Init_485mode();
        return kCmdDone;
    }
    char sof, high, low;
    if (kv_sscanf(line, "*rs485 %c%c%c", &sof, &high, &low) != 3) return kCmdFailed;
    const int h = hex_digit_upper(high), l = hex_digit_upper(low);
    if (h < 0 || l < 0) return kCmdFailed;
    const uint8_t address = uint8_t(h * 16 + l);
    kv_snprintf(out_buffer, sizeof out_buffer, "RS485 Mode SOF 0x%02X (%c) ADR %02X\r",
                uint8_t(sof), sof, address);
    txString(out_buffer);
    eepromData.rs485Sof = uint8_t(sof);
    eepromData.rs485Addr = address;
    eepromData.rs485Mode = kPortFlagOn;
    eepromData.mainPort = 1;
    Init_485mode();
    KV_EEPROM_Save();
    return kCmdDone;
}

int row_poll(char* line) {
    if (!rs485Active() || std::strcmp(line, "Q") != 0) return kNoMatch;
    txSavedBuf();
    return kCmdDone;
}

int row_baud(char* line) {
    if (prefix(line, "baudp")) return baud_command(line + 5, BaudMode::kAfterPrompt);
    if (prefix(line, "bauds")) return baud_command(line + 5, BaudMode::kSaved);
    if (prefix(line, "baud")) return baud_command(line + 4, BaudMode::kNow);
    return kNoMatch;
}

int row_out(char* line) {
    if (!prefix(line, "out")) return kNoMatch;
    if (line[3] == 's') {
        char* text = raw_quoted(line);
        if (!text) return kCmdFailed;
        txNotify(text);
        return kCmdNoPrompt;
    }
    if (line[3] != ' ' || line[4] != '"') {
        txNotify(":missing single space and/or double quote\r");
        return kCmdFailed;
    }
    int length = 0;
    char* text = escstrl(line + 4, '"', nullptr, &length);
    if (!text) return kCmdFailed;
    if (rs485Active())
        txNotify(text);
    else
        txBinary(reinterpret_cast<const uint8_t*>(text), length % 256);
    return kCmdDone;
}

int row_aout(char* line) {
    if (!prefix(line, "aout")) return kNoMatch;
    if (line[4] == 's') {
        char* text = raw_quoted(line);
        if (!text) return kCmdFailed;
        aTxString(text);
        return kCmdDone;
    }
    int length = 0;
    char* text = escstrl(line + 4, '"', nullptr, &length);
    if (!text) return kCmdFailed;
    aTxBinary(reinterpret_cast<const uint8_t*>(text), length);
    return kCmdDone;
}

int row_ain(char* line) {
    if (!prefix(line, "ain")) return kNoMatch;
    const char* p = line + 3;
    if (*p == ' ') ++p;
    if (*p == 'b') {
        uint8_t reply[1 + 128];
        const int n = getAinBin(reply + 1, 128);
        reply[0] = uint8_t(n);
        txBinary(reply, n + 1);
        return kCmdDone;
    }
    // ":" and the text must fit the 128 characters a reply can carry; what does not fit stays
    // in the auxiliary ring for the next "ain".
    char reply[kTxMaxString + 1];
    reply[0] = ':';
    getAuxRx(reply + 1, kTxMaxString);
    txString(reply);
    return kCmdDone;
}

int row_auxio(char* line) {
    if (!prefix(line, "auxIO")) return kNoMatch;
    int on;
    if (kv_sscanf(line + 5, "%d", &on) != 1) {
        txString(eepromData.auxForward == kPortFlagOn ? "1\r" : "0\r");
        return kCmdDone;
    }
    if (on) {
        aFlushRx();
        eepromData.auxForward = kPortFlagOn;
    } else {
        eepromData.auxForward = kUnset;
    }
    KV_EEPROM_Save();
    return kCmdDone;
}

int row_prevcons(char* line) {
    if (std::strcmp(line, "*prevCons") != 0) return kNoMatch;
    if (prevMain == 1) {
        if (eepromData.rs485Addr != kUnset) {
            eepromData.rs485Mode = kPortFlagOn;
            Init_485mode();
        } else {
            makeUart1Main();
        }
    } else {
        makeUart0Main();
    }
    return kCmdNoPrompt;
}

int row_auxesc(char* line) {
    if (!prefix(line, "*auxEsc")) return kNoMatch;
    unsigned value;
    if (kv_sscanf(line + 7, "%x", &value) == 1) {
        eepromData.auxEsc = uint8_t(value & 0x7F);
        KV_EEPROM_Save();
    }
    kv_snprintf(out_buffer, sizeof out_buffer, "0x%02x\r", eepromData.auxEsc);
    txString(out_buffer);
    return kCmdDone;
}

int row_commain(char* line) {
    const bool one = prefix(line, "*com1main");
    if (!one && !prefix(line, "*com0main")) return kNoMatch;
    if (one)
        makeUart1Main();
    else
        makeUart0Main();
    if (line[9] != 's') {
        eepromData.mainPort = one ? 1 : 0;
        KV_EEPROM_Save();
    }
    return kCmdDone;
}

int row_rst(char* line) {
    if (std::strcmp(line, "*rst") != 0) return kNoMatch;
    rxReset();
    return kCmdDone;
}

int row_bmoff(char* line) {
    if (std::strcmp(line, "*BMOFF") != 0) return kNoMatch;
    binaryEnable = 0;
    binaryDisable = 1;
    return kCmdDone;
}
