// The touch-screen ADC's conversions, as the sampler and the diagnostics read them.
#pragma once

#include <cstdint>

// Control bytes that start one conversion each.
constexpr uint8_t kAdcX = 0xD2;
constexpr uint8_t kAdcY = 0x92;
constexpr uint8_t kAdcZ1 = 0xBA;
constexpr uint8_t kAdcZ2 = 0xCA;
constexpr uint8_t kAdcTemp0 = 0x86;
constexpr uint8_t kAdcTemp1 = 0xF6;

// One conversion: the 12-bit result.
int touch_adc_read12(uint8_t control);
// One conversion rounded to 10 bits (positions and the Z plates).
int touch_adc_read10(uint8_t control);
// A position read with the plates left powered by a first conversion, so the second one sees a
// settled plate: the second result, rounded to 10 bits.
int touch_adc_read_double(uint8_t control);

// 12-bit result from the two answer bytes that follow a control byte.
constexpr int touch_adc_result(uint8_t first, uint8_t second) {
    return (int(first) << 5) + (int(second) >> 3);
}
constexpr int touch_adc_round10(int result12) {
    return (result12 + 2) >> 2;
}
