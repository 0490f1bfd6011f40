// The PWM: the beeper's loudness, a duty cycle in a period of kAudioPwmPeriod counts.
#include "device/board.h"
#include "imx21.h"

namespace {

using namespace imx21;

constexpr uint32_t kPwmc = kPwmBase + 0x00;
constexpr uint32_t kPwms = kPwmBase + 0x04;  // sample: counts the output stays high
constexpr uint32_t kPwmp = kPwmBase + 0x08;  // period

constexpr uint32_t kPwmcClkselDiv2 = 0;  // CLKSEL (bits 1-0): PERCLK1 / 2, about 82 kHz
constexpr uint32_t kPwmcEn = 1u << 4;
constexpr uint32_t kPwmcPrescalerShift = 8;  // bits 14-8: divider - 1
constexpr uint32_t kPwmcPrescalerBy1 = 0;
constexpr uint32_t kPwmcSwr = 1u << 16;  // software reset, self-clearing
constexpr int kResetPolls = 1000;

// The counter runs 0..PWMP, so the period register holds the count less one.
constexpr uint32_t kPeriodRegister = kAudioPwmPeriod - 1;

constexpr Pin kPwmPin = {Port::kE, 5};  // PWMO

}  // namespace

void audio_init() {
    clock_gate(ClockGate::kPwm, true);
    write32(kPwmc, kPwmcSwr);
    for (int i = 0; i < kResetPolls && (read32(kPwmc) & kPwmcSwr); ++i) {}
    write32(kPwmp, kPeriodRegister);
    write32(kPwms, 0);
    write32(kPwmc, kPwmcClkselDiv2 | (kPwmcPrescalerBy1 << kPwmcPrescalerShift) | kPwmcEn);
    pin_primary(kPwmPin);
    tone_stop();
}

void audio_pwm_duty(uint32_t counts) {
    write32(kPwms, counts > kAudioPwmPeriod ? kAudioPwmPeriod : counts);
}
