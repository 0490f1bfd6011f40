// The contract's LCD controller on the PL110: a 16 bpp TFT frame buffer at the module's frame
// buffer address. QEMU draws whatever the controller scans out; the timing fields are
// programmed as on a real panel but only the geometry matters to it.
#include "pl110_clcd.h"

#include "device/board.h"
#include "memory_map.h"
#include "mmio.h"
#include "sp804_timer.h"
#include "system_controller.h"

namespace {

using namespace qemu;

constexpr uint32_t kPixelClockHz = 26000000;

uint32_t control;
uint32_t frame_us;     // one frame at the configured timing
uint32_t frame_start;  // microseconds at the start of the frame not yet reported

uint8_t pwm_width;
bool pwm_enable;
bool pwm_line_clock;

void apply_control() {
    write32(clcd::kControl, control);
}

}  // namespace

uint16_t* lcd_framebuffer() {
    return reinterpret_cast<uint16_t*>(kFrameBufferVirt);
}

void lcd_configure(const LcdConfig& c) {
    // 16-bit pixels as 5:6:5, red in bits 15-11 as in the firmware's frame buffer.
    write32(sysctl::kLock, sysctl::kUnlock);
    write32(sysctl::kClcd,
            (read32(sysctl::kClcd) & ~sysctl::kClcdMuxMask) | sysctl::kClcdMux565BlueLsb);
    write32(sysctl::kLock, 0);

    const uint32_t ppl = c.width / 16 > 0 ? c.width / 16 - 1 : 0;
    auto field = [](uint32_t v, uint32_t bits) { return (v > 0 ? v - 1 : 0) & ((1u << bits) - 1); };
    write32(clcd::kTiming0, (ppl & 0x3F) << 2 | field(c.hsync_width, 8) << 8 |
                                field(c.h_front_porch, 8) << 16 | field(c.h_back_porch, 8) << 24);
    write32(clcd::kTiming1, field(c.height, 10) | field(c.vsync_width, 6) << 10 |
                                (c.v_front_porch & 0xFFu) << 16 | (c.v_back_porch & 0xFFu) << 24);
    write32(clcd::kTiming2, clcd::kTiming2BypassDivider |
                                (c.shift_clock_inverted ? clcd::kTiming2InvertClock : 0) |
                                field(c.width, 10) << clcd::kTiming2LineLengthShift);
    write32(clcd::kTiming3, 0);
    write32(clcd::kUpperBase, kFrameBufferPhys);
    write32(clcd::kLowerBase, 0);
    write32(clcd::kIntMask, 0);
    control = (control & (clcd::kControlEnable | clcd::kControlPower)) | clcd::kControlBpp16 |
              clcd::kControlTft;
    apply_control();

    const uint64_t pixels = uint64_t(c.width + c.hsync_width + c.h_front_porch + c.h_back_porch) *
                            (c.height + c.vsync_width + c.v_front_porch + c.v_back_porch);
    frame_us = uint32_t(pixels * 1000000 / kPixelClockHz);
    frame_start = timer::microseconds();
}

void lcd_clock_enable(bool on) {
    control = on ? control | clcd::kControlEnable : control & ~clcd::kControlEnable;
    apply_control();
    frame_start = timer::microseconds();
}

void lcd_signals_active(bool active) {
    control = active ? control | clcd::kControlPower : control & ~clcd::kControlPower;
    apply_control();
}

void lcd_pwm_set(uint8_t pulse_width, bool enable, bool line_clock) {
    // The Versatile board has no backlight: the setting is only kept.
    pwm_width = pulse_width;
    pwm_enable = enable;
    pwm_line_clock = line_clock;
}

bool lcd_end_of_frame() {
    // QEMU's controller reports no frame events: frames end on the board's clock, at the rate
    // the configured timing gives, one report per frame as the hardware's status bit.
    if ((control & clcd::kControlEnable) == 0 || frame_us == 0) return false;
    const uint32_t now = timer::microseconds();
    if (now - frame_start < frame_us) return false;
    const uint32_t frames = (now - frame_start) / frame_us;
    frame_start += frames * frame_us;
    return true;
}
