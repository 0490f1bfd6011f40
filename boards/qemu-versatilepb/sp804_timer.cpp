// The contract's millisecond timer on SP804 timer 0. The contract counts in units of its own
// 16.625 MHz clock; this timer runs at 1 MHz, so loads and counts are scaled between the two.
#include "sp804_timer.h"

#include "device/board.h"
#include "mmio.h"

namespace {

using namespace qemu;
using namespace qemu::timer;

uint32_t load;      // timer 0's reload value, in 1 MHz ticks
uint32_t compare_;  // as the firmware gave it, in contract counts
bool clock_running;

void start_clock() {
    if (clock_running) return;
    write32(kTimer1 + kControl, 0);
    write32(kTimer1 + kLoad, 0xFFFFFFFFu);
    write32(kTimer1 + kControl, kControlEnable | kControl32Bit);
    clock_running = true;
}

}  // namespace

namespace qemu::timer {

uint32_t microseconds() {
    start_clock();
    return ~read32(kTimer1 + kValue);
}

}  // namespace qemu::timer

void board_timer_start(uint32_t compare) {
    start_clock();
    compare_ = compare;
    // A period of compare + 1 contract counts; the SP804 reloads after reaching 0, so its
    // period is load + 1 ticks.
    const uint64_t ticks = (uint64_t(compare) + 1) * kClockHz / kTimerClockHz;
    load = ticks > 1 ? uint32_t(ticks - 1) : 1;
    write32(kTimer0 + kControl, 0);
    write32(kTimer0 + kIntClr, 1);
    write32(kTimer0 + kLoad, load);
    write32(kTimer0 + kControl,
            kControlEnable | kControlPeriodic | kControl32Bit | kControlIntEnable);
}

void board_timer_stop() {
    write32(kTimer0 + kControl, 0);
    write32(kTimer0 + kIntClr, 1);
}

uint32_t board_timer_count() {
    // The SP804 counts down from load; the contract's counter counts up from 0.
    const uint32_t value = read32(kTimer0 + kValue);
    const uint32_t elapsed = value <= load ? load - value : 0;
    const uint32_t counts = uint32_t(uint64_t(elapsed) * kTimerClockHz / kClockHz);
    return counts <= compare_ ? counts : compare_;
}

void board_timer_ack() {
    write32(kTimer0 + kIntClr, 1);
}
