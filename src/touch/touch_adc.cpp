#include "touch/touch_adc.h"

#include "device/board.h"

namespace {
// Low bits of a control byte that keep the reference and plates powered after the conversion.
constexpr uint8_t kKeepPowered = 0x03;
}  // namespace

int touch_adc_read12(uint8_t control) {
    uint8_t buf[3] = {control, 0, 0};
    touch_spi_exchange(buf, buf, 3);
    return touch_adc_result(buf[1], buf[2]);
}

int touch_adc_read10(uint8_t control) {
    return touch_adc_round10(touch_adc_read12(control));
}

int touch_adc_read_double(uint8_t control) {
    uint8_t buf[4] = {uint8_t(control | kKeepPowered), control, 0, 0};
    touch_spi_exchange(buf, buf, 4);
    return touch_adc_round10(touch_adc_result(buf[2], buf[3]));
}
