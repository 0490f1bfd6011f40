// GPIO ports and the board's control lines. Which pin carries which line is this board's choice
// (see README.md: it has to be checked against the module's schematic).
#include "device/board.h"
#include "imx21.h"

namespace imx21 {
namespace {

constexpr uint32_t kPortStride = 0x100;
// Per-port registers.
constexpr uint32_t kDdir = 0x00;          // 1 = output
constexpr uint32_t kOcr1 = 0x04;          // output source of pins 0-15, two bits each
constexpr uint32_t kOcr2 = 0x08;          // output source of pins 16-31
constexpr uint32_t kDr = 0x1C;            // data driven on outputs
constexpr uint32_t kGius = 0x20;          // 1 = pin is a GPIO, 0 = the module function
constexpr uint32_t kSsr = 0x24;           // sample status: the level on the pin
constexpr uint32_t kGpr = 0x38;           // 1 = alternate function instead of the primary one
constexpr uint32_t kOcrDataRegister = 3;  // output source: the DR bit
constexpr uint32_t kOcrFieldMask = 3;
constexpr int kOcrPinsPerRegister = 16;

uint32_t port_base(Port port) {
    return kGpioBase + uint32_t(port) * kPortStride;
}

bool gpio_clocked;

void ensure_clock() {
    if (!gpio_clocked) {
        clock_gate(ClockGate::kGpio, true);
        gpio_clocked = true;
    }
}

void select_dr_output(uint32_t base, uint8_t bit) {
    const uint32_t ocr = base + (bit < kOcrPinsPerRegister ? kOcr1 : kOcr2);
    const uint32_t shift = 2u * (bit % kOcrPinsPerRegister);
    write32(ocr, (read32(ocr) & ~(kOcrFieldMask << shift)) | (kOcrDataRegister << shift));
}

}  // namespace

void pin_primary(Pin pin) {
    ensure_clock();
    IrqGuard guard;
    const uint32_t base = port_base(pin.port);
    const uint32_t mask = 1u << pin.bit;
    clear_bits32(base + kGpr, mask);
    clear_bits32(base + kGius, mask);
}

// The 1 ms interrupt flashes the activity LED on the same port as lines the main loop drives,
// so each read-modify-write of a port register is a critical section.
void pin_output(Pin pin, bool high) {
    ensure_clock();
    IrqGuard guard;
    const uint32_t base = port_base(pin.port);
    const uint32_t mask = 1u << pin.bit;
    // The level first, so that the pin never glitches to the other one when it turns output.
    if (high)
        set_bits32(base + kDr, mask);
    else
        clear_bits32(base + kDr, mask);
    select_dr_output(base, pin.bit);
    set_bits32(base + kDdir, mask);
    set_bits32(base + kGius, mask);
}

void pin_input(Pin pin) {
    ensure_clock();
    IrqGuard guard;
    const uint32_t base = port_base(pin.port);
    const uint32_t mask = 1u << pin.bit;
    clear_bits32(base + kDdir, mask);
    set_bits32(base + kGius, mask);
}

bool pin_level(Pin pin) {
    ensure_clock();
    return (read32(port_base(pin.port) + kSsr) >> pin.bit) & 1u;
}

bool pin_driven(Pin pin) {
    return (read32(port_base(pin.port) + kDr) >> pin.bit) & 1u;
}

}  // namespace imx21

using imx21::Pin;
using imx21::Port;

namespace {

// The control lines, in the order of the Gpio enum.
constexpr Pin kLinePins[] = {
    {Port::kB, 22},  // kPanelPower
    {Port::kB, 23},  // kInverterEnable
    {Port::kB, 24},  // kLcdBuffers
    {Port::kB, 25},  // kVqSelect
    {Port::kB, 26},  // kOrient0
    {Port::kB, 27},  // kOrient1
    {Port::kB, 28},  // kSpeakerSelect
    {Port::kB, 29},  // kActivityLed
    {Port::kB, 30},  // kSdLed
    {Port::kB, 31},  // kPanelControl
};
static_assert(sizeof kLinePins / sizeof kLinePins[0] == int(Gpio::kCount));

}  // namespace

// Each line becomes an output the first time it is written; until then it keeps the level its
// pull-up or pull-down gives it after reset.
void gpio_write(Gpio line, bool high) {
    if (line >= Gpio::kCount) return;
    imx21::pin_output(kLinePins[int(line)], high);
}

// The lines are outputs: what the firmware reads back is the level it drove.
bool gpio_read(Gpio line) {
    if (line >= Gpio::kCount) return false;
    return imx21::pin_driven(kLinePins[int(line)]);
}
