// The two CSPI ports: CSPI2 talks to the touch-screen ADC, CSPI1 to the SPI data flash. Both
// are masters in SPI mode 0 with 8-bit words on their SS0 chip select.
#include "device/board.h"
#include "imx21.h"

namespace {

using namespace imx21;

constexpr uint32_t kRxdata = 0x00;
constexpr uint32_t kTxdata = 0x04;
constexpr uint32_t kControl = 0x08;
constexpr uint32_t kIntreg = 0x0C;
constexpr uint32_t kReset = 0x1C;

constexpr uint32_t kBitcount8 = 7;  // bits 4-0: word length - 1
// POL (bit 5), PHA (bit 6) and SSPOL (bit 8) stay 0: mode 0, chip select active low. SSCTL
// (bit 7) 0 keeps SS asserted for as long as the transmit FIFO has words, so an exchange that
// fits in the FIFO goes out as one burst with chip select held throughout.
constexpr uint32_t kControlXch = 1u << 9;  // start the burst; clears itself when done
constexpr uint32_t kControlSpien = 1u << 10;
constexpr uint32_t kControlMaster = 1u << 11;
constexpr uint32_t kControlDataRateShift = 14;
constexpr uint32_t kDataRateDiv24 = 7;  // PERCLK2 / 24: about 1.4 MHz, within the ADC's 2 MHz
constexpr uint32_t kControlChipSelectShift = 19;
constexpr uint32_t kChipSelectSs0 = 0;
constexpr uint32_t kControlValue = kBitcount8 | kControlSpien | kControlMaster |
                                   (kDataRateDiv24 << kControlDataRateShift) |
                                   (kChipSelectSs0 << kControlChipSelectShift);

constexpr uint32_t kIntregRr = 1u << 4;  // a received word waits
constexpr uint32_t kResetStart = 1u << 0;

constexpr int kFifoDepth = 8;
static_assert(kTouchSpiMaxExchange <= kFifoDepth);
// A byte at 1.4 MHz takes under 6 us; these bounds only end the wait on a dead port.
constexpr int kBurstPolls = 100000;
constexpr int kResetPolls = 1000;

struct Cspi {
    uint32_t base;
    ClockGate gate;
    Pin ss0, sclk, miso, mosi;
};

constexpr Cspi kDataFlashPort = {kCspi1Base,     ClockGate::kCspi1, {Port::kD, 28},
                                 {Port::kD, 29}, {Port::kD, 30},    {Port::kD, 31}};
constexpr Cspi kTouchPort = {kCspi2Base,     ClockGate::kCspi2, {Port::kD, 21},
                             {Port::kD, 22}, {Port::kD, 23},    {Port::kD, 24}};

constexpr Pin kPenDownPin = {Port::kC, 16};  // low while the screen is pressed

void port_init(const Cspi& p) {
    clock_gate(p.gate, true);
    write32(p.base + kReset, kResetStart);
    for (int i = 0; i < kResetPolls && (read32(p.base + kReset) & kResetStart); ++i) {}
    write32(p.base + kControl, kControlValue);
    pin_primary(p.ss0);
    pin_primary(p.sclk);
    pin_primary(p.miso);
    pin_primary(p.mosi);
}

// One burst of up to kFifoDepth bytes with chip select held.
void exchange(const Cspi& p, const uint8_t* tx, uint8_t* rx, int length) {
    while (read32(p.base + kIntreg) & kIntregRr) (void)read32(p.base + kRxdata);
    for (int i = 0; i < length; ++i) write32(p.base + kTxdata, tx[i]);
    write32(p.base + kControl, kControlValue | kControlXch);
    for (int i = 0; i < kBurstPolls && (read32(p.base + kControl) & kControlXch); ++i) {}
    for (int i = 0; i < length; ++i) {
        int polls = 0;
        while (!(read32(p.base + kIntreg) & kIntregRr) && polls < kBurstPolls) ++polls;
        rx[i] = polls < kBurstPolls ? uint8_t(read32(p.base + kRxdata)) : 0;
    }
}

bool dataFlashReady;

}  // namespace

void InitTouch() {
    port_init(kTouchPort);
    pin_input(kPenDownPin);
}

// tx and rx may be the same buffer: every byte is queued before the first answer is stored.
void touch_spi_exchange(const uint8_t* tx, uint8_t* rx, int length) {
    if (length < 1 || length > kTouchSpiMaxExchange) return;
    exchange(kTouchPort, tx, rx, length);
}

int GetPenState() {
    return pin_level(kPenDownPin) ? 0 : 1;
}

uint8_t ReadSerialFlashID() {
    if (!dataFlashReady) {
        port_init(kDataFlashPort);
        dataFlashReady = true;
    }
    // The command, then manufacturer, memory type and capacity.
    constexpr uint8_t kReadId = 0x9F;
    constexpr int kIdExchange = 4;
    constexpr int kCapacityByte = 3;
    const uint8_t tx[kIdExchange] = {kReadId, 0, 0, 0};
    uint8_t rx[kIdExchange];
    exchange(kDataFlashPort, tx, rx, kIdExchange);
    return rx[kCapacityByte];
}
