// The i.MX21 UART's fractional baud-rate divider as this board programs it:
// rate = reference clock x (increment + 1) / (16 x (modulator + 1)), the modulator fixed.
// The simulated board uses the same numbers, so that its lines run at the module's real rates.
#pragma once

#include <cstdint>

namespace imx21 {

constexpr uint32_t kUartRefClockHz = 16620000;
constexpr uint32_t kUartModulator = 9999;

constexpr uint32_t uart_increment(uint32_t bits_per_second) {
    return bits_per_second * 16 / (kUartRefClockHz / (kUartModulator + 1)) - 1;
}

static_assert(uart_increment(115200) == 1108);

}  // namespace imx21
