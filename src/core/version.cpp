#include <cstring>

#include "base/format.h"
#include "core/main_loop.h"
#include "device/panel_config.h"
#include "settings/settings.h"

namespace {

constexpr const char* kProduct = "VOXA5-PLUS";
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 4;
constexpr int kVersionRelease = 0;
// The maker's notice ends with the build year (the last four characters of __DATE__).
constexpr const char* kMakerNotice = "  Copyright (c) voxa developers";
constexpr const char* kBuildDate = __DATE__;  // "Mmm dd yyyy"

bool config_name_set() {
    return KV_EEPROMvalid() && eepromData.config[0] != 0 && uint8_t(eepromData.config[0]) != 0xFF;
}

}  // namespace

void KV_Copy_Version(char* buf) {
    int n = kv_snprintf(buf, kVersionTextSize, "%s V%d.%d.%d %s", kProduct, kVersionMajor,
                        kVersionMinor, kVersionRelease, panel::kBuild.version_word);
    if (config_name_set() && n < kVersionTextSize) {
        kv_snprintf(buf + n, size_t(kVersionTextSize - n), "\"%.*s\"", int(kConfigNameSize),
                    eepromData.config);
    }
}

int KV_BannerLine(int line, char* buf) {
    switch (line) {
        case 1: {
            char version[kVersionTextSize];
            KV_Copy_Version(version);
            kv_snprintf(buf, kLineBufSize, "  %s", version);
            return 1;
        }
        case 2:
            kv_snprintf(buf, kLineBufSize, "%s %s", kMakerNotice, kBuildDate + 7);
            return 1;
        case 3:
            buf[0] = 0;
            return 1;
        case 4: {
            const uint32_t rate = KV_COM_getBaud(0);
            kv_snprintf(buf, kLineBufSize, "  Baud rate = %d,%03d", int(rate / 1000),
                        int(rate % 1000));
            return 1;
        }
        case 5:
            if (!rs485Active()) return 0;
            kv_snprintf(buf, kLineBufSize, "  RS485 Mode SOF 0x%02X (%c) ADR %02X",
                        eepromData.rs485Sof, eepromData.rs485Sof, eepromData.rs485Addr);
            return 1;
        case 6:
            buf[0] = 0;
            return 1;
        default:
            return 0;
    }
}
