// The rest of the board contract: waiting, reset through the watchdog, the peripheral register
// block of the peek and poke commands, and the start-up code's fault entry.
#include "device/board.h"
#include "arm926.h"
#include "imx21.h"

namespace {

using namespace imx21;

// Watchdog control register (16 bits): WDE enables the watchdog; SRS low asserts the software
// reset at once.
constexpr uint32_t kWcr = kWdogBase + 0x00;
constexpr uint16_t kWcrWde = 1u << 2;
constexpr uint16_t kWcrSrs = 1u << 4;
static_assert((kWcrWde & kWcrSrs) == 0);

// The modules of the register block (offsets from kRegisterBlockBase, 4 KB each). Elsewhere in
// the block the bus answers with an abort, so those offsets read 0 instead of being touched.
constexpr uint32_t kModuleSize = 0x1000;
constexpr uint32_t kModuleOffsets[] = {
    0x00000,  // AIPI1
    0x01000,  // DMA
    0x02000,  // WDOG
    0x03000,  // GPT1
    0x04000,  // GPT2
    0x05000,  // GPT3
    0x06000,  // PWM
    0x07000,  // RTC
    0x08000,  // KPP
    0x09000,  // OWIRE
    0x0A000,  // UART1
    0x0B000,  // UART2
    0x0C000,  // UART3
    0x0D000,  // UART4
    0x0E000,  // CSPI1
    0x0F000,  // CSPI2
    0x10000,  // SSI1
    0x11000,  // SSI2
    0x12000,  // I2C
    0x13000,  // SDHC1
    0x14000,  // SDHC2
    0x15000,  // GPIO
    0x16000,  // AUDMUX
    0x17000,  // CSPI3
    0x20000,  // AIPI2
    0x21000,  // LCDC
    0x22000,  // SLCDC
    0x24000,  // USB OTG
    0x25000,  // USB OTG, second page
    0x26000,  // eMMA
    0x27000,  // CRM and system control
    0x28000,  // FIRI
};

bool has_register(uint32_t offset) {
    if (offset >= kRegisterBlockSize) return false;
    const uint32_t module = offset & ~(kModuleSize - 1);
    for (uint32_t m : kModuleOffsets)
        if (m == module) return true;
    return false;
}

constexpr uint32_t kWordMask = ~3u;

}  // namespace

void board_idle() {
    arm926_wait_for_interrupt();
}

// The caller polls a counter and has less than a timer period to wait; sleeping until the next
// interrupt could oversleep that, so it returns at once.
void board_idle_for(uint32_t) {}

void board_checkpoint(Work, uint32_t) {}

uint32_t register_read32(uint32_t offset) {
    if (!has_register(offset)) return 0;
    return read32(kRegisterBlockBase + (offset & kWordMask));
}

// A 32-bit read and the half asked for: several modules answer only whole-word accesses.
uint16_t register_read16(uint32_t offset) {
    const uint32_t word = register_read32(offset);
    return uint16_t((offset & 2) ? word >> 16 : word);
}

void register_write32(uint32_t offset, uint32_t value) {
    if (!has_register(offset)) return;
    write32(kRegisterBlockBase + (offset & kWordMask), value);
}

const BoardFsDriver* board_fs_driver() {
    return nullptr;
}

void reset_cpu() {
    arm926_irq_save();
    clock_gate(ClockGate::kWdog, true);
    write16(kWcr, kWcrWde);
    for (;;) {}
}

// An abort or undefined instruction: nothing sensible can continue, so the board stops with
// interrupts off, keeping the kind and address where a debugger attached later can read them.
extern "C" void board_fault(int kind, uint32_t address) {
    arm926_irq_save();
    volatile int faultKind = kind;
    volatile uint32_t faultAddress = address;
    (void)faultKind;
    (void)faultAddress;
    for (;;) {}
}
