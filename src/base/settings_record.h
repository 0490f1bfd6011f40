// The settings record: one static 176-byte record, read directly by every module, stored twice
// in the I2C EEPROM. The layout is a stored format (EEPROM copies written by every firmware
// version since 0x1255), so every field keeps its offset; static_asserts below pin them.
//
// The record and its layout sit at the bottom of the firmware because every layer reads it;
// loading, repairing and saving it belong to src/settings (settings/settings.h).
#pragma once

#include <cstddef>
#include <cstdint>

// Byte flags mean "on" only when they hold exactly these values.
constexpr uint8_t kFlagOn = 0xA5;
constexpr uint8_t kPortFlagOn = 0x5A;  // 'Z'
constexpr uint8_t kUnset = 0xFF;       // timing and brightness fields: build default

constexpr uint16_t kSignatureCurrent = 0x1255;
constexpr uint16_t kSignatureNewest = 0x1260;
constexpr uint8_t kCalLayoutFivePoint = 0xAA;

constexpr size_t kSettingsSize = 176;
constexpr size_t kConfigNameSize = 32;

struct EepromData {
    uint16_t signature;
    uint8_t tcTimeout;
    uint8_t unused3;
    int32_t legacyCal[8];
    uint16_t tplo;
    uint16_t tphi;
    uint8_t tpDeltaLim;
    uint8_t tsamp;
    uint8_t tspan;
    uint8_t touchSwap;
    uint32_t beepFreq;
    uint8_t beepVol;
    uint8_t beepMax;
    uint8_t brite;
    uint8_t typematicDelay;
    uint32_t debounce;
    uint8_t typematicRepeat;
    uint8_t splashEnable;
    uint8_t splashIndex;
    uint8_t ponMacro;
    uint8_t rs485Mode;
    uint8_t rs485Sof;
    uint8_t rs485Addr;
    uint8_t bannerOff;
    uint8_t demoMacro;
    uint8_t auxForward;
    uint8_t auxEsc;
    uint8_t mainPort;
    uint8_t unused68[2];
    uint8_t unchecked70[4];  // outside the checksum, never saved
    char firmwareTag[8];     // outside the checksum, never saved; reported by "*firmware"
    uint8_t invEnaHiTrue;
    uint8_t hfp;
    uint8_t hpw;
    uint8_t hbp;
    uint8_t vfp;
    uint8_t vpw;
    uint8_t vbp;
    uint8_t maxBrite;
    uint8_t minBrite;
    uint8_t pwmIsEnable;
    uint8_t orient;
    char config[kConfigNameSize];
    uint8_t touchMode;
    uint8_t autoCal;
    uint8_t LCDshiftclock;
    uint8_t baud0;
    uint8_t baud1;
    uint8_t externalSpeaker;
    uint8_t calLayout;
    int16_t calLogX[5];
    int16_t calPhyX[5];
    int16_t calLogY[5];
    int16_t calPhyY[5];
    uint8_t layoutOne;
    uint8_t unused173[3];
};

static_assert(sizeof(EepromData) == kSettingsSize);
static_assert(offsetof(EepromData, tcTimeout) == 2);
static_assert(offsetof(EepromData, legacyCal) == 4);
static_assert(offsetof(EepromData, tplo) == 36);
static_assert(offsetof(EepromData, tpDeltaLim) == 40);
static_assert(offsetof(EepromData, touchSwap) == 43);
static_assert(offsetof(EepromData, beepFreq) == 44);
static_assert(offsetof(EepromData, brite) == 50);
static_assert(offsetof(EepromData, debounce) == 52);
static_assert(offsetof(EepromData, typematicRepeat) == 56);
static_assert(offsetof(EepromData, rs485Mode) == 60);
static_assert(offsetof(EepromData, mainPort) == 67);
static_assert(offsetof(EepromData, unchecked70) == 70);
static_assert(offsetof(EepromData, firmwareTag) == 74);
static_assert(offsetof(EepromData, invEnaHiTrue) == 82);
static_assert(offsetof(EepromData, vbp) == 88);
static_assert(offsetof(EepromData, orient) == 92);
static_assert(offsetof(EepromData, config) == 93);
static_assert(offsetof(EepromData, touchMode) == 125);
static_assert(offsetof(EepromData, baud0) == 128);
static_assert(offsetof(EepromData, calLayout) == 131);
static_assert(offsetof(EepromData, calLogX) == 132);
static_assert(offsetof(EepromData, calPhyX) == 142);
static_assert(offsetof(EepromData, calLogY) == 152);
static_assert(offsetof(EepromData, calPhyY) == 162);
static_assert(offsetof(EepromData, layoutOne) == 172);

extern EepromData eepromData;

// Writes the RAM record to both EEPROM copies (power-safe, only the bytes that differ); returns
// 1. Implemented by src/settings; declared here for the device services, whose commands save
// the record but sit below the settings module.
int KV_EEPROM_Save();
