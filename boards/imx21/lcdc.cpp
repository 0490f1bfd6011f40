// The LCD controller: a TFT panel scanned from the 16-bit frame buffer in SDRAM.
#include "boards/imx21/lcdc_timing.h"
#include "device/board.h"
#include "imx21.h"

// The frame buffer's place in SDRAM is the linker script's.
extern "C" uint16_t __framebuffer_start[];

namespace {

using namespace imx21;

constexpr uint32_t kLssar = kLcdcBase + 0x00;  // screen start address
constexpr uint32_t kLsr = kLcdcBase + 0x04;    // size
constexpr uint32_t kLvpwr = kLcdcBase + 0x08;  // virtual page width in 32-bit words
constexpr uint32_t kLpcr = kLcdcBase + 0x18;   // panel configuration
constexpr uint32_t kLhcr = kLcdcBase + 0x1C;   // horizontal timing
constexpr uint32_t kLvcr = kLcdcBase + 0x20;   // vertical timing
constexpr uint32_t kLpccr = kLcdcBase + 0x2C;  // contrast (PWM) control
constexpr uint32_t kLdcr = kLcdcBase + 0x30;   // DMA control
constexpr uint32_t kLicr = kLcdcBase + 0x38;   // interrupt configuration
constexpr uint32_t kLier = kLcdcBase + 0x3C;   // interrupt enables
constexpr uint32_t kLisr = kLcdcBase + 0x40;   // interrupt status, cleared by reading

constexpr uint32_t kFrameBufferAddress = 0xC3E00000;

constexpr uint32_t kLsrXmaxShift = 20;  // width / 16
constexpr uint32_t kLsrYmaxMask = 0x3FF;
constexpr uint32_t kLsrXUnit = 16;

constexpr uint32_t kLpcrTft = 1u << 31;
constexpr uint32_t kLpcrColor = 1u << 30;
constexpr uint32_t kLpcrBpix16 = 5u << 25;
constexpr uint32_t kLpcrFlmpolLow = 1u << 23;  // vertical sync active low
constexpr uint32_t kLpcrLppolLow = 1u << 22;   // horizontal sync active low
constexpr uint32_t kLpcrClkpol = 1u << 21;     // shift clock: data on the other edge
constexpr uint32_t kLpcrSclksel = 1u << 7;     // shift clock runs during blanking too
constexpr uint32_t kLpcrPcdShift = 0;
// PERCLK3 / (PCD + 1) is the pixel clock: 53.2 MHz / 2 = 26.6 MHz, the nearest to 26 MHz.
constexpr uint32_t kLpcrPcd = 1;
static_assert(kPerclk3Hz / (kLpcrPcd + 1) == 26600000);
constexpr uint32_t kLpcrBase = kLpcrTft | kLpcrColor | kLpcrBpix16 | kLpcrFlmpolLow |
                               kLpcrLppolLow | kLpcrSclksel | (kLpcrPcd << kLpcrPcdShift);

constexpr uint32_t kLpccrPwMask = 0xFF;
constexpr uint32_t kLpccrCcEn = 1u << 8;
constexpr uint32_t kLpccrScrPixelClock = 1u << 9;  // SCR (bits 10-9): 00 line pulse, 01 pixel

// High mark 2 and trigger mark 16 words: the DMA refills the FIFO in bursts long enough for
// SDRAM and early enough for the 26 MHz scan.
constexpr uint32_t kLdcrHmShift = 16;
constexpr uint32_t kLdcrHm = 2;
constexpr uint32_t kLdcrTm = 0x10;
constexpr uint32_t kLdcrValue = (kLdcrHm << kLdcrHmShift) | kLdcrTm;

constexpr uint32_t kLicrIntconEndOfFrame = 0;  // flag the end of frame, not the beginning
constexpr uint32_t kLisrEof = 1u << 1;

// The LCD interface lines: pixel clock, 18 data lines, the control and sync lines, contrast and
// output enable (PA5-PA31).
constexpr uint8_t kFirstLcdPin = 5;
constexpr uint8_t kLastLcdPin = 31;

}  // namespace

uint16_t* lcd_framebuffer() {
    return __framebuffer_start;
}

void lcd_configure(const LcdConfig& c) {
    write32(kLssar, kFrameBufferAddress);
    write32(kLsr, (uint32_t(c.width / kLsrXUnit) << kLsrXmaxShift) | (c.height & kLsrYmaxMask));
    write32(kLvpwr, c.width / 2u);
    write32(kLpcr, kLpcrBase | (c.shift_clock_inverted ? kLpcrClkpol : 0));
    write32(kLhcr, imx21::lcdc_horizontal_word(c.hsync_width, c.h_front_porch, c.h_back_porch));
    write32(kLvcr, imx21::lcdc_vertical_word(c.vsync_width, c.v_front_porch, c.v_back_porch));
    write32(kLdcr, kLdcrValue);
    write32(kLicr, kLicrIntconEndOfFrame);
    write32(kLier, 0);  // the status is polled by the 1 ms interrupt
}

void lcd_clock_enable(bool on) {
    clock_gate(ClockGate::kLcdcBus, on);
    clock_gate(ClockGate::kLcdcPixel, on);
}

void lcd_signals_active(bool active) {
    for (uint8_t bit = kFirstLcdPin; bit <= kLastLcdPin; ++bit) {
        const Pin pin = {Port::kA, bit};
        if (active)
            pin_primary(pin);
        else
            pin_output(pin, false);
    }
}

void lcd_pwm_set(uint8_t pulse_width, bool enable, bool line_clock) {
    write32(kLpccr, (pulse_width & kLpccrPwMask) | (enable ? kLpccrCcEn : 0) |
                        (line_clock ? 0 : kLpccrScrPixelClock));
}

bool lcd_end_of_frame() {
    return (read32(kLisr) & kLisrEof) != 0;
}
