// What the drivers of this board share: register access, the i.MX21's module addresses, the
// clocks the drivers rely on, clock gating and pin multiplexing.
#pragma once

#include <cstdint>

namespace imx21 {

// ---------------------------------------------------------------------------------------------
// Register access. Every peripheral register is reached through these, so that no access can be
// merged, reordered or dropped by the compiler. They always inline: the flash routines that run
// from RAM use them while the flash cannot be read.
#define IMX21_INLINE inline __attribute__((always_inline))

IMX21_INLINE uint32_t read32(uint32_t address) {
    return *reinterpret_cast<volatile uint32_t*>(address);
}
IMX21_INLINE void write32(uint32_t address, uint32_t value) {
    *reinterpret_cast<volatile uint32_t*>(address) = value;
}
IMX21_INLINE uint16_t read16(uint32_t address) {
    return *reinterpret_cast<volatile uint16_t*>(address);
}
IMX21_INLINE void write16(uint32_t address, uint16_t value) {
    *reinterpret_cast<volatile uint16_t*>(address) = value;
}
IMX21_INLINE void set_bits32(uint32_t address, uint32_t bits) {
    write32(address, read32(address) | bits);
}
IMX21_INLINE void clear_bits32(uint32_t address, uint32_t bits) {
    write32(address, read32(address) & ~bits);
}

// ---------------------------------------------------------------------------------------------
// Module base addresses. The AIPI1/AIPI2 peripheral space is the register block of the peek and
// poke commands; the interrupt controller, the SDRAM controller and the external interface
// module lie outside it.

constexpr uint32_t kAipi1Base = 0x10000000;
constexpr uint32_t kWdogBase = 0x10002000;
constexpr uint32_t kGpt1Base = 0x10003000;
constexpr uint32_t kGpt2Base = 0x10004000;
constexpr uint32_t kGpt3Base = 0x10005000;
constexpr uint32_t kPwmBase = 0x10006000;
constexpr uint32_t kUart1Base = 0x1000A000;
constexpr uint32_t kUart2Base = 0x1000B000;
constexpr uint32_t kCspi1Base = 0x1000E000;
constexpr uint32_t kCspi2Base = 0x1000F000;
constexpr uint32_t kI2cBase = 0x10012000;
constexpr uint32_t kSdhc1Base = 0x10013000;
constexpr uint32_t kGpioBase = 0x10015000;
constexpr uint32_t kAipi2Base = 0x10020000;
constexpr uint32_t kLcdcBase = 0x10021000;
constexpr uint32_t kCrmBase = 0x10027000;
constexpr uint32_t kSysCtrlBase = 0x10027800;
constexpr uint32_t kAitcBase = 0x10040000;
constexpr uint32_t kSdramcBase = 0xDF000000;
constexpr uint32_t kEimBase = 0xDF001000;

// ---------------------------------------------------------------------------------------------
// Clocks. The module runs the MPLL at 266 MHz; PERCLK1 (UARTs, timers, PWM) is MPLL / 16, which
// is where the timebase's 16.625 MHz and the UART's 16.62 MHz reference come from. PERCLK2
// (SD host, CSPI) and PERCLK3 (LCD pixel clock) are divided from the MPLL as well; the IPG clock
// (I2C) is HCLK / 2.
constexpr uint32_t kMpllHz = 266000000;
constexpr uint32_t kPerclk1Divider = 16;
constexpr uint32_t kPerclk1Hz = kMpllHz / kPerclk1Divider;
constexpr uint32_t kPerclk2Divider = 8;
constexpr uint32_t kPerclk2Hz = kMpllHz / kPerclk2Divider;
constexpr uint32_t kPerclk3Divider = 5;
constexpr uint32_t kPerclk3Hz = kMpllHz / kPerclk3Divider;
constexpr uint32_t kIpgHz = kMpllHz / 4;
static_assert(kPerclk1Hz == 16625000);

// Clock gates of the peripheral clock control registers: the register (0 or 1) and the bit.
enum class ClockGate : uint8_t {
    kUart1,
    kUart2,
    kCspi1,
    kCspi2,
    kSdhc1,
    kGpio,
    kI2c,
    kLcdcPixel,  // PERCLK3
    kLcdcBus,    // HCLK to the LCDC's DMA
    kWdog,
    kGpt1,
    kGpt2,
    kPwm,
};
void clock_gate(ClockGate gate, bool on);

// ---------------------------------------------------------------------------------------------
// Pins. Ports A-F, 32 pins each.

enum class Port : uint8_t { kA, kB, kC, kD, kE, kF };
struct Pin {
    Port port;
    uint8_t bit;
};

// Hands the pin to its module's primary function.
void pin_primary(Pin pin);
// Makes the pin a GPIO output at the level given.
void pin_output(Pin pin, bool high);
// Makes the pin a GPIO input.
void pin_input(Pin pin);
// The pin's level as it reads now.
bool pin_level(Pin pin);
// The level last driven on a GPIO output.
bool pin_driven(Pin pin);

}  // namespace imx21
