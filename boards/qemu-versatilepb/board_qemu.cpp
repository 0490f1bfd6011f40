// The rest of the contract on QEMU's versatilepb: what the Versatile board lacks is kept in RAM
// (GPIO lines, EEPROM, the boot flash's Flash2 window) or answers as an idle device would (the
// touch ADC, the beeper).
#include "arm926.h"
#include "device/board.h"
#include "memory_map.h"
#include "mmio.h"
#include "pl011_uart.h"
#include "system_controller.h"

namespace {

using namespace qemu;

bool gpio_lines[int(Gpio::kCount)];

// The beeper's state; nothing on the board makes a sound.
uint32_t tone_compare;
bool tone_running;
uint32_t pwm_duty;

uint8_t* eeprom() {
    return reinterpret_cast<uint8_t*>(kEepromPhys);
}

uint8_t* flash2() {
    return reinterpret_cast<uint8_t*>(kFlash2Address);
}

bool in_window(uint32_t address, uint32_t length) {
    return address >= kFlash2Address && address - kFlash2Address <= kFlash2Size &&
           length <= kFlash2Size - (address - kFlash2Address);
}

void put_hex(char* out, uint32_t value) {
    for (int i = 7; i >= 0; --i, value >>= 4) out[i] = "0123456789ABCDEF"[value & 0xF];
}

}  // namespace

void board_idle() {
    arm926_wait_for_interrupt();
}
void board_idle_for(uint32_t) {}
void board_checkpoint(Work, uint32_t) {}

void gpio_write(Gpio line, bool high) {
    if (line < Gpio::kCount) gpio_lines[int(line)] = high;
}
bool gpio_read(Gpio line) {
    return line < Gpio::kCount && gpio_lines[int(line)];
}

// The touch panel is never touched: every conversion reads 0.
void InitTouch() {}
void touch_spi_exchange(const uint8_t*, uint8_t* rx, int length) {
    if (length < 1 || length > kTouchSpiMaxExchange) return;
    for (int i = 0; i < length; ++i) rx[i] = 0;
}
int GetPenState() {
    return 0;
}

void audio_init() {
    pwm_duty = 0;
    tone_running = false;
}
void tone_start(uint32_t compare) {
    tone_compare = compare;
    tone_running = true;
}
void tone_stop() {
    tone_running = false;
}
void audio_pwm_duty(uint32_t counts) {
    pwm_duty = counts > kAudioPwmPeriod ? kAudioPwmPeriod : counts;
}

// No i.MX21 registers here: the peek and poke block reads 0.
uint32_t register_read32(uint32_t) {
    return 0;
}
uint16_t register_read16(uint32_t) {
    return 0;
}
void register_write32(uint32_t, uint32_t) {}

void InitI2C() {}
void EEpromWrite(uint32_t address, uint8_t value) {
    eeprom()[address & (kEepromSize - 1)] = value;
}
uint8_t EEpromRead(uint32_t address) {
    return eeprom()[address & (kEepromSize - 1)];
}

const uint8_t* flash2_window() {
    return flash2();
}

int FlashEraseSector(uint32_t address) {
    if (!in_window(address, 1)) return 1;
    const uint32_t sector = (address - kFlash2Address) / kFlash2SectorSize;
    auto* p = reinterpret_cast<volatile uint32_t*>(flash2() + sector * kFlash2SectorSize);
    for (uint32_t i = 0; i < kFlash2SectorSize / 4; ++i) p[i] = 0xFFFFFFFFu;
    return 0;
}

int FlashIsErased(uint32_t address, uint32_t length) {
    if (!in_window(address, length)) return 0;
    const uint8_t* p = flash2() + (address - kFlash2Address);
    for (uint32_t i = 0; i < length; ++i) {
        if (p[i] != 0xFF) return 0;
    }
    return 1;
}

int FlashWriteBlock(uint32_t address, const uint8_t* data, uint32_t length) {
    if (data == nullptr || (address & 1) != 0 || (length & 1) != 0 || !in_window(address, length)) {
        return 1;
    }
    // NOR programming can only clear bits.
    auto* p = reinterpret_cast<volatile uint8_t*>(flash2() + (address - kFlash2Address));
    for (uint32_t i = 0; i < length; ++i) p[i] = uint8_t(p[i] & data[i]);
    return 0;
}

const uint8_t* boot_area() {
    return reinterpret_cast<const uint8_t*>(kFlashVirt);
}
const uint8_t* program_area() {
    return reinterpret_cast<const uint8_t*>(kFlashVirt + kBootAreaSize);
}

uint8_t ReadSerialFlashID() {
    return 0x17;
}

[[noreturn]] void reset_cpu() {
    arm926_irq_save();
    write32(sysctl::kLock, sysctl::kUnlock);
    write32(sysctl::kResetCtl, sysctl::kResetRequest);
    // Should the controller not reset the machine, start over from the reset vector with the
    // MMU off, as a reset leaves it.
    uint32_t control;
    asm volatile("mrc p15, 0, %0, c1, c0, 0" : "=r"(control));
    asm volatile(
        "mcr p15, 0, %0, c1, c0, 0\n"
        "mov pc, #0\n" ::"r"(control & ~1u)
        : "memory");
    __builtin_unreachable();
}

extern "C" [[noreturn]] void board_fault(int kind, uint32_t address) {
    static const char* const kKinds[] = {"undefined instruction", "prefetch abort", "data abort"};
    char hex[9] = {};
    put_hex(hex, address);
    uart::write_polled("\r\nfault: ");
    uart::write_polled(kind >= 0 && kind <= 2 ? kKinds[kind] : "unknown");
    uart::write_polled(" at 0x");
    uart::write_polled(hex);
    uart::write_polled("\r\n");
    arm926_irq_save();
    for (;;) arm926_wait_for_interrupt();
}
