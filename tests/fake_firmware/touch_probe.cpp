// A stand-in firmware on the simulated board that does nothing but read the touch ADC, so that
// tests can see the finger voxa-sim sets reach the child's panel: every millisecond while the
// pen is down, a double X read, a double Y read, Z1 and Z2; the two temperature diodes once at
// start. The conversions show up in the module's ADC log.
#include <cstdint>

#include "device/board.h"

namespace {

void exchange(uint8_t a, uint8_t b, int length) {
    uint8_t io[4] = {a, b, 0, 0};
    touch_spi_exchange(io, io, length);
}

void tick() {
    board_timer_ack();
    if (!GetPenState()) return;
    exchange(0xD3, 0xD2, 4);
    exchange(0x93, 0x92, 4);
    exchange(0xBA, 0, 3);
    exchange(0xCA, 0, 3);
}

}  // namespace

int main() {
    interrupt_init();
    InitTouch();
    exchange(0x86, 0, 3);
    exchange(0xF6, 0, 3);
    interrupt_set_isr(kIrqTimer, tick);
    interrupt_enable(kIrqTimer, 0);
    board_timer_start(kTimerClockHz / 1000);
    for (;;) board_idle();
}
