// Peripheral clock gating. Each driver switches on the clocks of its module before it touches the
// module's registers: a module whose clocks are off does not answer.
#include "device/board.h"
#include "imx21.h"

namespace imx21 {
namespace {

constexpr uint32_t kPccr0 = kCrmBase + 0x20;
constexpr uint32_t kPccr1 = kCrmBase + 0x24;

// PCCR0: one IPG clock enable per module, plus the HCLK and PERCLK enables.
constexpr uint32_t kPccr0Uart1 = 1u << 0;
constexpr uint32_t kPccr0Uart2 = 1u << 1;
constexpr uint32_t kPccr0Cspi1 = 1u << 4;
constexpr uint32_t kPccr0Cspi2 = 1u << 5;
constexpr uint32_t kPccr0Sdhc1 = 1u << 9;
constexpr uint32_t kPccr0Gpio = 1u << 11;
constexpr uint32_t kPccr0I2c = 1u << 12;
constexpr uint32_t kPccr0Perclk3 = 1u << 18;
constexpr uint32_t kPccr0HclkLcdc = 1u << 26;
// PCCR1
constexpr uint32_t kPccr1Wdog = 1u << 24;
constexpr uint32_t kPccr1Gpt1 = 1u << 25;
constexpr uint32_t kPccr1Gpt2 = 1u << 26;
constexpr uint32_t kPccr1Pwm = 1u << 28;

struct GateBit {
    uint32_t reg;
    uint32_t bit;
};

GateBit gate_bit(ClockGate gate) {
    switch (gate) {
        case ClockGate::kUart1:
            return {kPccr0, kPccr0Uart1};
        case ClockGate::kUart2:
            return {kPccr0, kPccr0Uart2};
        case ClockGate::kCspi1:
            return {kPccr0, kPccr0Cspi1};
        case ClockGate::kCspi2:
            return {kPccr0, kPccr0Cspi2};
        case ClockGate::kSdhc1:
            return {kPccr0, kPccr0Sdhc1};
        case ClockGate::kGpio:
            return {kPccr0, kPccr0Gpio};
        case ClockGate::kI2c:
            return {kPccr0, kPccr0I2c};
        case ClockGate::kLcdcPixel:
            return {kPccr0, kPccr0Perclk3};
        case ClockGate::kLcdcBus:
            return {kPccr0, kPccr0HclkLcdc};
        case ClockGate::kWdog:
            return {kPccr1, kPccr1Wdog};
        case ClockGate::kGpt1:
            return {kPccr1, kPccr1Gpt1};
        case ClockGate::kGpt2:
            return {kPccr1, kPccr1Gpt2};
        case ClockGate::kPwm:
            return {kPccr1, kPccr1Pwm};
    }
    return {kPccr1, 0};
}

}  // namespace

// The 1 ms interrupt can reach a driver that gates its clock on first use (the card-detect
// poll), so the read-modify-write is a critical section.
void clock_gate(ClockGate gate, bool on) {
    const GateBit g = gate_bit(gate);
    IrqGuard guard;
    if (on)
        set_bits32(g.reg, g.bit);
    else
        clear_bits32(g.reg, g.bit);
}

}  // namespace imx21
