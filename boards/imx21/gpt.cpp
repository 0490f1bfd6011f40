// The general-purpose timers: GPT2 is the 1 ms timebase, GPT1 the beeper's tone generator.
#include "device/board.h"
#include "imx21.h"

namespace {

using namespace imx21;

constexpr uint32_t kTctl = 0x00;
constexpr uint32_t kTprer = 0x04;
constexpr uint32_t kTcmp = 0x08;
constexpr uint32_t kTcn = 0x10;
constexpr uint32_t kTstat = 0x14;

constexpr uint32_t kTctlTen = 1u << 0;
constexpr uint32_t kTctlClkPerclk1 = 1u << 1;  // CLKSOURCE (bits 3-1) = 001
constexpr uint32_t kTctlCompEn = 1u << 4;      // compare interrupt
// FRR (bit 8) stays 0: restart at the compare value. OM (bit 9) stays 0: toggle on compare.
constexpr uint32_t kTctlSwr = 1u << 15;   // software reset, self-clearing
constexpr uint32_t kTstatComp = 1u << 0;  // write 1 to clear
constexpr uint32_t kPrescaleBy1 = 0;      // TPRER holds divider - 1
constexpr int kResetPolls = 1000;

static_assert(kPerclk1Hz == kTimerClockHz, "the timebase counts PERCLK1 directly");

void reset(uint32_t base) {
    write32(base + kTctl, kTctlSwr);
    for (int i = 0; i < kResetPolls && (read32(base + kTctl) & kTctlSwr); ++i) {}
}

// Restart mode counts 0..TCMP and then starts again at 0, so a period is TCMP + 1 counts.
void start(uint32_t base, uint32_t compare, uint32_t interrupt) {
    reset(base);
    write32(base + kTprer, kPrescaleBy1);
    write32(base + kTcmp, compare);
    write32(base + kTstat, kTstatComp);
    const uint32_t mode = kTctlClkPerclk1 | interrupt;
    write32(base + kTctl, mode);
    write32(base + kTctl, mode | kTctlTen);
}

// ---------------------------------------------------------------------------------------------
// The tone: GPT1's TOUT pin toggles at each compare match and feeds the amplifier.

constexpr Pin kTonePin = {Port::kC, 14};  // TOUT
// The tone's compare value comes in counts of a 16,666,666 Hz clock; GPT1 counts PERCLK1, so the
// period is rescaled to keep the frequency the firmware asked for.
constexpr uint32_t scale_tone_compare(uint32_t compare) {
    const uint64_t counts = (uint64_t(compare) + 1) * kPerclk1Hz;
    const uint64_t scaled = (counts + kToneClockHz / 2) / kToneClockHz;
    return scaled > 0 ? uint32_t(scaled - 1) : 0;
}
static_assert(scale_tone_compare(kToneClockHz / (2 * 1000) - 1) == kPerclk1Hz / (2 * 1000) - 1);

}  // namespace

void board_timer_start(uint32_t compare) {
    clock_gate(ClockGate::kGpt2, true);
    start(kGpt2Base, compare, kTctlCompEn);
}

void board_timer_stop() {
    write32(kGpt2Base + kTctl, 0);
}

uint32_t board_timer_count() {
    return read32(kGpt2Base + kTcn);
}

void board_timer_ack() {
    write32(kGpt2Base + kTstat, kTstatComp);
}

void tone_start(uint32_t compare) {
    clock_gate(ClockGate::kGpt1, true);
    start(kGpt1Base, scale_tone_compare(compare), 0);
    pin_primary(kTonePin);
}

// Off the amplifier: the pin becomes a GPIO held low, whatever state the toggle left it in.
void tone_stop() {
    pin_output(kTonePin, false);
    write32(kGpt1Base + kTctl, 0);
}
