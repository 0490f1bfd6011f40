#include "fs/sdcard.h"

#include "base/host_text.h"
#include "device/board.h"
#include "fs/file_ops.h"

namespace {

// The switch must read the same for this long before a change counts: the contacts bounce
// while a card slides in.
constexpr uint8_t kDebounceMs = 50;

enum HotplugState : uint8_t { kNoCard, kInitialized, kFailed };

// Shared with the timer interrupt: written there, read and cleared here, each a single byte.
volatile uint8_t cardPresent;  // debounced switch
volatile uint8_t debounceCount;
volatile uint8_t cardChanged;

uint8_t hotplugState;
uint8_t sdLedOn;

int mount_card() {
    if (!sd_card_init() || !FS_Mount()) {
        hotplugState = kFailed;
        return 0;
    }
    hotplugState = kInitialized;
    return 1;
}

}  // namespace

void SDhotplugUpdate() {
    const uint8_t raw = sd_card_detect() ? 1 : 0;
    if (raw == cardPresent) {
        debounceCount = 0;
        return;
    }
    debounceCount = uint8_t(debounceCount + 1);
    if (debounceCount >= kDebounceMs) {
        cardPresent = raw;
        debounceCount = 0;
        cardChanged = 1;
    }
}

void SDcheckHotplug() {
    // A mounted card that stopped answering commands lost its power: it was pulled and pushed
    // back (perhaps another card) faster than the switch debounce sees. What was read from it
    // may not describe the card in the slot now, so it is brought up and mounted afresh.
    const bool lost = hotplugState == kInitialized && (sd_host_status() & kSdStatusResponseTimeout);
    if (!cardChanged && !lost) return;
    cardChanged = 0;
    FS_Unmount();
    if (cardPresent) {
        SDCardSlotInit();
        mount_card();
    } else {
        hotplugState = kNoCard;
    }
}

int SDisInitialized() {
    return hotplugState == kInitialized ? 1 : 0;
}

int initialize_media() {
    FS_Init();
    cardChanged = 0;
    debounceCount = 0;
    cardPresent = sd_card_detect() ? 1 : 0;
    if (!cardPresent) {
        hotplugState = kNoCard;
        return 0;
    }
    return mount_card();
}

void SD_led(int on) {
    sdLedOn = on ? 1 : 0;
    gpio_write(Gpio::kSdLed, on != 0);
}

void SD_ledToggle() {
    SD_led(!sdLedOn);
}

int KVReportSDStatusErrors(int report) {
    struct Bit {
        uint32_t mask;
        const char* message;
    };
    static constexpr Bit kBits[] = {
        {kSdStatusReadTimeout, ":!SD Card: Time-Out Read Data Error\r"},
        {kSdStatusResponseTimeout, ":!SD Card: Time-Out Response Error\r"},
        {kSdStatusWriteCrc, ":!SD Card: CRC Write Error\r"},
        {kSdStatusReadCrc, ":!SD Card: CRC Read Error\r"},
        {kSdStatusResponseCrc, ":!SD Card: Response CRC Error\r"},
    };
    const uint32_t status = sd_host_status();
    int ok = 1;
    for (const auto& b : kBits) {
        if (!(status & b.mask)) continue;
        ok = 0;
        if (report) txString(b.message);
    }
    const uint32_t code = (status & kSdStatusWriteCrcCodeMask) >> kSdStatusWriteCrcCodeShift;
    if (code == 1 || code == 2) {
        ok = 0;
        if (report) txString(":!SD Card: Write CRC Error Code\r");
    }
    return ok;
}
