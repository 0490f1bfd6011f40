// Interrupt sources of the board contract on the PL190: each source owns one controller line,
// and when several are pending the highest source number is served first.
#include "pl190_vic.h"

#include "arm926.h"
#include "device/board.h"
#include "mmio.h"
#include "pl011_uart.h"

namespace {

using namespace qemu;

IsrHandler handlers[kIrqSourceCount];

[[noreturn]] void unexpected_interrupt() {
    arm926_irq_save();
    for (;;) arm926_wait_for_interrupt();
}

// The controller line of a contract source, or -1 for a source this board does not have.
int line_of(int source) {
    switch (source) {
        case kIrqTimer:
            return vic::kLineTimer01;
        case kIrqCom0:
            return vic::kLineUart0;
        case kIrqCom1:
            return vic::kLineUart1;
        default:
            return -1;
    }
}

// Highest source first.
constexpr int kServiceOrder[] = {kIrqTimer, kIrqCom0, kIrqCom1};

void serve(uint32_t pending) {
    for (const int source : kServiceOrder) {
        const int line = line_of(source);
        if ((pending & (1u << line)) == 0) continue;
        handlers[source]();
        if (source == kIrqCom0) uart::update_soft_interrupt(kCom0);
        if (source == kIrqCom1) uart::update_soft_interrupt(kCom1);
        return;
    }
}

}  // namespace

namespace qemu::vic {

void set_soft(int line, bool asserted) {
    write32(asserted ? kSoftInt : kSoftIntClear, 1u << line);
}

}  // namespace qemu::vic

void interrupt_init() {
    write32(vic::kIntEnClear, 0xFFFFFFFFu);
    write32(vic::kSoftIntClear, 0xFFFFFFFFu);
    write32(vic::kIntSelect, 0);
    for (auto& handler : handlers) handler = unexpected_interrupt;
    arm926_enable_interrupts();
}

void interrupt_set_isr(int source, IsrHandler handler) {
    if (source < 0 || source >= kIrqSourceCount) return;
    handlers[source] = handler != nullptr ? handler : unexpected_interrupt;
}

void interrupt_enable(int source, int fast) {
    const int line = line_of(source);
    if (line < 0) return;
    const uint32_t select = read32(vic::kIntSelect);
    write32(vic::kIntSelect, fast != 0 ? select | (1u << line) : select & ~(1u << line));
    write32(vic::kIntEnable, 1u << line);
}

void interrupt_disable(int source) {
    const int line = line_of(source);
    if (line >= 0) write32(vic::kIntEnClear, 1u << line);
}

uint32_t board_irq_save() {
    return arm926_irq_save();
}
void board_irq_restore(uint32_t state) {
    arm926_irq_restore(state);
}

extern "C" void board_irq_dispatch(void) {
    serve(read32(vic::kIrqStatus));
}

extern "C" void board_fiq_dispatch(void) {
    serve(read32(vic::kFiqStatus));
}
