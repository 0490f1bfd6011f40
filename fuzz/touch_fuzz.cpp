// Touch arithmetic on arbitrary data: calibration tables as a corrupt EEPROM could hold them,
// raw readings anywhere in the ADC's range (Z1 = 0 included), every stored touch setting, and
// the sampler stepped with them on simulated panels of any shape, noise and finger pressure.
#include <cstdint>
#include <cstring>

#include "base/settings_record.h"
#include "boards/sim/standalone.h"
#include "core/serial.h"
#include "device/board.h"
#include "settings/settings.h"
#include "touch/touch.h"
#include "touch/touch_map.h"

namespace {

// Pulls values out of the input; zeros once it is used up.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t word() { return uint16_t(byte() | (byte() << 8)); }
    uint32_t dword() { return uint32_t(word()) | (uint32_t(word()) << 16); }
    bool more() const { return pos_ < size_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

bool start() {
    sim::Standalone::instance();
    interrupt_init();
    KV_COM_Init0();
    KV_COM_Init1();
    KV_EEPROM_SetDefaults();
    KV_Touch_Init();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = start();
    (void)started;
    Reader in(data, size);

    // A table from the settings record, exactly as start-up would load it.
    for (int i = 0; i < 5; ++i) {
        eepromData.calLogX[i] = int16_t(in.word());
        eepromData.calPhyX[i] = int16_t(in.word());
        eepromData.calLogY[i] = int16_t(in.word());
        eepromData.calPhyY[i] = int16_t(in.word());
    }
    KV_Touch_Calibrate_from_EEPROM();
    eepromData.tsamp = in.byte();
    eepromData.tspan = in.byte();
    eepromData.touchMode = in.byte();
    eepromData.touchSwap = in.byte();
    eepromData.debounce = in.dword();
    eepromData.tplo = in.word();
    eepromData.tphi = in.word();

    while (in.more()) {
        // Raw 10-bit readings, as the ADC rounds them, through every arithmetic path.
        const int x = in.word() & 0x3FF;
        const int y = in.word() & 0x3FF;
        const int z1 = in.word() & 0x3FF;
        const int z2 = in.word() & 0x3FF;
        int p = 0;
        (void)touch_pressure(x, y, z1, z2, &p);
        (void)touch_temperature(in.word() & 0xFFF, in.word() & 0xFFF);
        int sx = x;
        int sy = y;
        convToScreenXY(&sx, &sy);
        // What the hotspot layer reads for a published touch: always on the panel or -1.
        State.first = x;
        State.second = y;
        State.pressed = 1;
        int lx = 0;
        int ly = 0;
        KV_GetLocation(&lx, &ly);
        if (lx < 0 || ly < 0) __builtin_trap();
        // The sampler with the stored settings on a panel of any shape and noise, the finger
        // anywhere with any pressure, or lifted.
        sim::Standalone& board = sim::Standalone::instance();
        const uint8_t op = in.byte();
        if (op & 0x80) {
            simlink::TouchPanelConfig c = board.touch_panel().config();
            for (int16_t& corner : c.corners) corner = int16_t(in.word() & 0x3FF);
            c.swap = op & 1;
            c.noise = uint16_t(in.byte());
            c.seed = in.byte();
            board.set_touch_panel(c);
        }
        if (op & 0x40) {
            board.release();
        } else {
            board.touch(in.word() % 800, in.word() % 480, in.word() % 1500);
        }
        for (int step = in.byte() * 4; step > 0; --step) KV_Update_Touch();
        (void)board.take_touch_adc_log();
    }
    State.first = -1;
    State.second = -1;
    State.pressed = 0;
    sim::Standalone::instance().release();
    sim::Standalone::instance().set_touch_panel(simlink::default_touch_panel(800, 480));
    KV_Touch_Init();
    return 0;
}
