#include "device/timebase.h"

#include "device/beeper.h"
#include "device/board.h"
#include "fs/sdcard.h"
#include "touch/hotspots.h"
#include "touch/touch.h"

volatile uint32_t msCounter32;
volatile uint32_t frameTimer;
volatile uint32_t delayTimer;
volatile uint32_t gpTimer;
volatile uint32_t wvrTimer;
volatile int32_t animateTimer;
volatile uint32_t ledFlashTimer;
volatile uint32_t ledFlashVal;

namespace {

volatile uint8_t ledFlashing;
volatile uint8_t ledOn;

constexpr uint32_t kCountsPer512us = 8512;  // 512 us at 16.625 counts per microsecond
constexpr uint32_t kChunkUs = 512;

void timer_isr() {
    if (lcd_end_of_frame())
        frameTimer = 0;
    else
        frameTimer = frameTimer + 1;

    if (delayTimer) delayTimer = delayTimer - 1;
    if (gpTimer) gpTimer = gpTimer - 1;
    if (wvrTimer) wvrTimer = wvrTimer - 1;
    msCounter32 = msCounter32 + 1;

    BeepTimerCheck();
    ButtonTimer();

    if (animateTimer > 0) animateTimer = animateTimer - 1;

    KV_Update_Touch();

    if (ledFlashing) {
        if (ledFlashTimer) ledFlashTimer = ledFlashTimer - 1;
        if (ledFlashTimer == 0) {
            LedToggle();
            ledFlashTimer = ledFlashVal;
        }
    }

    SDhotplugUpdate();

    board_timer_ack();
}

// Waits until the counter has advanced by more than `counts` since `start`, allowing for one
// restart of the counter.
void wait_counts(uint32_t start, uint32_t counts) {
    for (;;) {
        uint32_t now = KV_TimerGetRawCount();
        if (now < start) now += kTimerCompare;
        const uint32_t passed = now - start;
        if (passed > counts) return;
        // Nanoseconds still to go (8000/133 ns per count), rounded up, so a simulated board can
        // skip ahead instead of polling.
        board_idle_for(((counts + 1 - passed) * 8000u + 132u) / 133u);
    }
}

}  // namespace

void KV_TimerInit() {
    board_timer_stop();
    interrupt_set_isr(kIrqTimer, timer_isr);
    board_timer_start(kTimerCompare);
    interrupt_enable(kIrqTimer, 0);
}

void KV_TimerDisable() {
    board_timer_stop();
}
void KV_TimerEnable() {
    board_timer_start(kTimerCompare);
}

void KV_Delay_uSec(uint32_t us) {
    for (; us >= kChunkUs; us -= kChunkUs) wait_counts(KV_TimerGetRawCount(), kCountsPer512us);
    if (us) wait_counts(KV_TimerGetRawCount(), us * kTimerCompare / 1000 + 1);
}

void KV_Delay(uint32_t ms) {
    while (ms--) KV_Delay_uSec(1000);
}

uint32_t KV_TimerGetRawCount() {
    // The counter runs while it is read; two reads within a few counts of each other are a
    // value that was really there.
    uint32_t a = board_timer_count();
    for (;;) {
        const uint32_t b = board_timer_count();
        const uint32_t d = a > b ? a - b : b - a;
        if (d <= 4) return b;
        a = b;
    }
}

uint32_t KV_TimerElapsedMicroSecs(uint32_t start) {
    uint32_t now = KV_TimerGetRawCount();
    if (now < start) now += kTimerCompare;
    return (now - start) * 1000 / kTimerCompare;
}

uint32_t KV_TimerGetMsCount() {
    uint32_t a = msCounter32;
    for (;;) {
        const uint32_t b = msCounter32;
        if (a == b) return b;
        a = b;
    }
}

uint32_t KV_TimerGetFrameTime() {
    uint32_t a = frameTimer;
    for (;;) {
        const uint32_t b = frameTimer;
        if (a == b) return b;
        a = b;
    }
}

void Led(int on) {
    ledOn = on ? 1 : 0;
    gpio_write(Gpio::kActivityLed, on != 0);
}

void LedToggle() {
    Led(!ledOn);
}

void FlashLed(uint32_t period) {
    if (period) {
        ledFlashVal = period;
        ledFlashTimer = period;
        ledFlashing = 1;
    } else {
        ledFlashing = 0;
        Led(0);
    }
}
