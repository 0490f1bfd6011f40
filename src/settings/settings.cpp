#include "settings/settings.h"

#include <bit>
#include <cstring>

#include "base/host_text.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "fs/sdcard.h"
#include "settings/config_ini.h"

namespace {

struct RateCode {
    uint8_t code;
    uint32_t rate;
};
constexpr RateCode kRates[] = {{1, 1200},  {2, 4800},   {3, 9600},   {4, 19200}, {5, 38400},
                               {6, 57600}, {7, 115200}, {8, 230400}, {9, 460800}};
constexpr uint8_t kRateUnsupported = 0xFF;
constexpr uint32_t kDefaultRate = 115200;

static_assert(std::endian::native == std::endian::little,
              "the record is stored little-endian and is copied to the EEPROM byte by byte");

constexpr uint16_t kSignatureLoadFailed = 0xEDAA;
constexpr uint16_t kSignatureLegacyLast = 0x1258;  // 0x1256-0x1258: two-point calibration only
constexpr uint16_t kSignatureWideTable = 0x1259;   // five-point table stored as 32-bit values
constexpr size_t kSignatureHighOffset = 1;
constexpr uint8_t kSignatureHigh = 0x12;  // high byte of every recognised signature
constexpr uint8_t kErased = 0xFF;
constexpr uint32_t kEepromBlockSize = 0x100;
constexpr int kCalPoints = 5;
constexpr uint32_t kWideTableOffset = 132;  // 0x1259 layout: 20 int32 values from here
// When both copies are bad, at most this many differing bytes are tried in every combination
// (2^8 sums) to find the one record that matches a stored checksum.
constexpr int kMaxSalvageDiffs = 8;

// Where the record in RAM was last loaded from (the 0x1259 upgrade reads the rest of that
// copy's block).
uint32_t loadedBase = kEepromCopyA;

bool checked(size_t i) {
    return i < kUncheckedFirst || i >= kUncheckedEnd;
}

uint8_t* record_bytes() {
    return reinterpret_cast<uint8_t*>(&eepromData);
}

// Writes one copy so that it reads as valid only once it holds the whole new record. Bytes are
// written in place and only where they differ, with the checksum last; because the checksum is
// a plain sum, a copy cut short after some of its bytes can still add up to the old checksum.
// Whenever that could happen, the signature's high byte (which every load checks first) is
// spoiled before the first byte and restored after the checksum, so the copy is invalid for
// the whole of the update instead.
void write_copy(uint32_t base, const uint8_t* rec) {
    uint8_t stored[kSettingsSize];
    uint8_t stored_sum = 0;
    for (size_t i = 0; i < kSettingsSize; ++i) {
        if (!checked(i)) continue;
        stored[i] = EEpromRead(base + uint32_t(i));
        stored_sum = uint8_t(stored_sum + stored[i]);
    }
    const uint8_t stored_checksum = EEpromRead(base + kEepromChecksumOffset);
    const uint8_t checksum = KV_EEPROM_Checksum(rec);

    uint8_t order[kSettingsSize];
    int n = 0;
    for (size_t i = 0; i < kSettingsSize; ++i) {
        if (checked(i) && i != kSignatureHighOffset && stored[i] != rec[i]) order[n++] = uint8_t(i);
    }
    const bool checksum_changes = stored_checksum != checksum;
    const uint8_t old_high = stored[kSignatureHighOffset];
    const uint8_t new_high = rec[kSignatureHighOffset];

    bool guard = false;
    if (old_high == kSignatureHigh && new_high == kSignatureHigh) {
        // Would a load accept the copy after one of the writes that do not finish it?
        const int steps = n + (checksum_changes ? 1 : 0);
        uint8_t sum = stored_sum;
        for (int k = 0; k + 1 < steps && k < n; ++k) {
            sum = uint8_t(sum + rec[order[k]] - stored[order[k]]);
            if (sum == stored_checksum) {
                guard = true;
                break;
            }
        }
    }

    if (guard) {
        EEpromWrite(base + kSignatureHighOffset, kErased);
    } else if (new_high != kSignatureHigh && old_high != new_high) {
        // The new record is not loadable anyway: make the copy say so from the start.
        EEpromWrite(base + kSignatureHighOffset, new_high);
    }
    for (int k = 0; k < n; ++k) EEpromWrite(base + order[k], rec[order[k]]);
    if (checksum_changes) EEpromWrite(base + kEepromChecksumOffset, checksum);
    if (guard || (new_high == kSignatureHigh && old_high != kSignatureHigh)) {
        EEpromWrite(base + kSignatureHighOffset, new_high);
    }
}

bool same_checked_bytes(const EepromData& a, const EepromData& b) {
    const auto* x = reinterpret_cast<const uint8_t*>(&a);
    const auto* y = reinterpret_cast<const uint8_t*>(&b);
    for (size_t i = 0; i < kSettingsSize; ++i) {
        if (checked(i) && x[i] != y[i]) return false;
    }
    return true;
}

void read_block(uint32_t base, uint8_t* rec) {
    for (size_t i = 0; i < kSettingsSize; ++i) rec[i] = EEpromRead(base + uint32_t(i));
}

// Both copies failed their checks. A copy with a bad checksum holds at least one wrong byte,
// and nothing tells which, so it is never stored back as it is. The record is rebuilt only
// where the two copies corroborate each other: identical in every checked byte, or differing
// in a few bytes of which exactly one choice per byte adds up to a stored checksum (a fault in
// each copy, at different places). Anything else is left to the defaults.
bool salvage() {
    // Erased or foreign blocks (the usual reason for two bad copies) are not worth reading.
    if (EEpromRead(kEepromCopyA + kSignatureHighOffset) != kSignatureHigh ||
        EEpromRead(kEepromCopyB + kSignatureHighOffset) != kSignatureHigh) {
        return false;
    }
    uint8_t a[kSettingsSize];
    uint8_t b[kSettingsSize];
    read_block(kEepromCopyA, a);
    read_block(kEepromCopyB, b);
    if (a[kSignatureHighOffset] != kSignatureHigh || b[kSignatureHighOffset] != kSignatureHigh) {
        return false;
    }
    const uint8_t sum_a = EEpromRead(kEepromCopyA + kEepromChecksumOffset);
    const uint8_t sum_b = EEpromRead(kEepromCopyB + kEepromChecksumOffset);

    uint8_t diff[kMaxSalvageDiffs];
    int n = 0;
    for (size_t i = 0; i < kSettingsSize; ++i) {
        if (!checked(i) || a[i] == b[i]) continue;
        if (n == kMaxSalvageDiffs) return false;
        diff[n++] = uint8_t(i);
    }
    if (n > 0) {
        uint8_t found[kSettingsSize];
        bool have = false;
        for (uint32_t mask = 0; mask < (1u << n); ++mask) {
            uint8_t trial[kSettingsSize];
            std::memcpy(trial, a, sizeof trial);
            for (int k = 0; k < n; ++k) {
                if (mask & (1u << k)) trial[diff[k]] = b[diff[k]];
            }
            const uint8_t sum = KV_EEPROM_Checksum(trial);
            if (sum != sum_a && sum != sum_b) continue;
            if (have && std::memcmp(found, trial, sizeof trial) != 0) return false;
            std::memcpy(found, trial, sizeof found);
            have = true;
        }
        if (!have) return false;
        std::memcpy(a, found, sizeof a);
    }
    uint16_t signature;
    std::memcpy(&signature, a, sizeof signature);
    if (signature < kSignatureCurrent || signature > kSignatureNewest) return false;
    std::memcpy(record_bytes(), a, kSettingsSize);
    loadedBase = kEepromCopyA;
    write_copy(kEepromCopyA, record_bytes());
    write_copy(kEepromCopyB, record_bytes());
    return true;
}

// Layout 0x1259 kept the five-point table as twenty 32-bit values from offset 132: 80 bytes,
// more than the 44 left in the record. Those layouts wrote them into the copy's EEPROM block,
// which has room up to its checksum byte, so the values are taken from there rather than from
// whatever lies in RAM behind the record.
void upgrade_wide_table() {
    int16_t* const tables[4] = {eepromData.calLogX, eepromData.calPhyX, eepromData.calLogY,
                                eepromData.calPhyY};
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < kCalPoints; ++i) {
            const uint32_t at = loadedBase + kWideTableOffset + uint32_t(4 * (t * kCalPoints + i));
            const uint16_t low = uint16_t(EEpromRead(at) | (EEpromRead(at + 1) << 8));
            tables[t][i] = int16_t(low);
        }
    }
}

// Layouts before the five-point calibration: centre and corners from the two-point table.
void five_point_from_legacy() {
    EepromData& e = eepromData;
    const int32_t xLogA = e.legacyCal[0], xLogB = e.legacyCal[1];
    const int32_t xPhyA = e.legacyCal[2], xPhyB = e.legacyCal[3];
    const int32_t yLogA = e.legacyCal[4], yLogB = e.legacyCal[5];
    const int32_t yPhyA = e.legacyCal[6], yPhyB = e.legacyCal[7];
    const auto set = [](int i, int32_t lx, int32_t px, int32_t ly, int32_t py) {
        eepromData.calLogX[i] = int16_t(lx);
        eepromData.calPhyX[i] = int16_t(px);
        eepromData.calLogY[i] = int16_t(ly);
        eepromData.calPhyY[i] = int16_t(py);
    };
    set(0, (xLogA + xLogB) / 2, (xPhyA + xPhyB) / 2, (yLogA + yLogB) / 2, (yPhyA + yPhyB) / 2);
    set(1, xLogA, xPhyA, yLogB, yPhyB);
    set(2, xLogB, xPhyB, yLogB, yPhyB);
    set(3, xLogB, xPhyB, yLogA, yPhyA);
    set(4, xLogA, xPhyA, yLogA, yPhyA);
}

template <typename T>
bool repair(T& field, bool bad, T good) {
    if (!bad || field == good) return false;
    field = good;
    return true;
}

bool repair_ranges() {
    EepromData& e = eepromData;
    constexpr uint8_t kDefaultBaudCode = 7;
    bool changed = false;
    changed |= repair(e.baud0, e.baud0 < 3 || e.baud0 > 8, kDefaultBaudCode);
    changed |= repair(e.baud1, e.baud1 < 3 || e.baud1 > 8, kDefaultBaudCode);
    changed |= repair(e.LCDshiftclock, e.LCDshiftclock > 1, uint8_t(1));
    changed |= repair(e.autoCal, e.autoCal > 1, uint8_t(0));
    return changed;
}

bool common_checks() {
    EepromData& e = eepromData;
    bool changed = false;
    changed |= repair(e.layoutOne, e.layoutOne != 1, uint8_t(1));
    changed |= repair(e.calLayout, e.calLayout != kCalLayoutFivePoint, kCalLayoutFivePoint);
    changed |= repair(e.signature, e.signature != kSignatureCurrent, kSignatureCurrent);
    changed |= repair(e.mainPort, e.mainPort > 1, uint8_t(0));
    return changed;
}

}  // namespace

void KV_EEPROM_SetDefaults() {
    const auto& b = panel::kBuild;
    EepromData& e = eepromData;
    std::memset(&e, 0xFF, sizeof e);
    e.signature = kSignatureCurrent;
    e.tcTimeout = 10;
    const int32_t legacy[8] = {15, b.legacy_x_logical_b, 150, 850, b.legacy_y_logical_a, 15, 850,
                               150};
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

int KV_EEPROMvalid() {
    return eepromData.signature == kSignatureCurrent ? 1 : 0;
}

uint8_t KV_EEPROM_Checksum(const uint8_t* record) {
    uint8_t sum = 0;
    for (size_t i = 0; i < kSettingsSize; ++i) {
        if (checked(i)) sum = uint8_t(sum + record[i]);
    }
    return sum;
}

int KV_EEPROM_Load(uint32_t base) {
    if (EEpromRead(base + kSignatureHighOffset) != kSignatureHigh) return 0;
    uint8_t* rec = record_bytes();
    uint8_t sum = 0;
    for (size_t i = 0; i < kSettingsSize; ++i) {
        rec[i] = EEpromRead(base + uint32_t(i));
        if (checked(i)) sum = uint8_t(sum + rec[i]);
    }
    loadedBase = base;
    return sum == EEpromRead(base + kEepromChecksumOffset) ? 1 : 0;
}

int KV_EEPROM_Save() {
    write_copy(kEepromCopyA, record_bytes());
    write_copy(kEepromCopyB, record_bytes());
    return 1;
}

void KV_EEPROM_LoadAndFix() {
    // A load that finds no recognisable copy leaves this visible to KV_EEPROM_Init.
    eepromData.signature = kSignatureLoadFailed;
    if (KV_EEPROM_Load(kEepromCopyB)) {
        const EepromData copyB = eepromData;
        if (!KV_EEPROM_Load(kEepromCopyA)) {
            KV_EEPROM_Load(kEepromCopyB);
            write_copy(kEepromCopyA, record_bytes());
        } else if (!same_checked_bytes(copyB, eepromData)) {
            // Both valid but different: a save was cut after copy A was complete. Copy A is
            // the newer one (saves write it first); finish the save.
            write_copy(kEepromCopyB, record_bytes());
        }
    } else if (KV_EEPROM_Load(kEepromCopyA)) {
        write_copy(kEepromCopyB, record_bytes());
    } else if (!salvage()) {
        eepromData.signature = kSignatureLoadFailed;
    }
}

int KV_EEPROM_Init() {
    EepromData& e = eepromData;
    bool changed = false;
    if (e.signature < kSignatureCurrent || e.signature > kSignatureNewest) {
        KV_EEPROM_SetDefaults();
        changed = true;
    } else {
        const bool current = e.signature == kSignatureCurrent && e.calLayout == kCalLayoutFivePoint;
        if (!current) {
            if (e.signature == kSignatureWideTable) {
                upgrade_wide_table();
                changed = true;
            } else if (e.signature <= kSignatureLegacyLast) {
                five_point_from_legacy();
                if (e.signature == kSignatureCurrent) e.externalSpeaker = 0;
                changed = true;
            }
            changed |= repair_ranges();
        }
        changed |= common_checks();
    }

    ConfigMerge merge{};
    if (SDisInitialized()) merge = KV_Config_Merge();
    changed |= merge.changed;

    if (changed) {
        e.signature = kSignatureCurrent;
        if (merge.verbose) pout(":storing new values in EEPROM\r");
        KV_EEPROM_Save();
    }
    return merge.main_port_changed ? 1 : 0;
}

int KV_EEPROM_Clear(int area) {
    uint32_t base;
    switch (area) {
        case 0:
            base = kEepromUserArea;
            break;
        case 1:
            base = kEepromCopyA;
            break;
        case 2:
            base = kEepromCopyB;
            break;
        default:
            return 1;
    }
    // Erased bytes stay as they are: the result is the same and write cycles are spared.
    for (uint32_t i = 0; i < kEepromBlockSize; ++i) {
        if (EEpromRead(base + i) != kErased) EEpromWrite(base + i, kErased);
    }
    return 1;
}

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
    if (port == 0)
        eepromData.baud0 = code;
    else
        eepromData.baud1 = code;
    return KV_EEPROM_Save();
}
