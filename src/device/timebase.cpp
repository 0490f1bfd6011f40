#include "device/timebase.h"

#include "device/beeper.h"
#include "device/board.h"

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

// Filled at start-up before the timer runs, read only by the interrupt afterwards.
TickFn ticks[int(TickSlot::kCount)];

// Long delays wait in chunks short enough that the counter cannot wrap unseen between polls.
constexpr uint32_t kChunkUs = 512;
constexpr uint32_t kCountsPerChunk = uint32_t(uint64_t(kTimerClockHz) * kChunkUs / 1000000);
static_assert(kCountsPerChunk < kTimerCompare);

inline void run_tick(TickSlot slot) {
    if (const TickFn fn = ticks[int(slot)]) fn();
}

// Nanoseconds that counts of the timer's clock take, rounded up.
constexpr uint32_t counts_to_ns(uint32_t counts) {
    return uint32_t((uint64_t(counts) * 1000000000u + kTimerClockHz - 1) / kTimerClockHz);
}

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
    run_tick(TickSlot::kButtons);

    if (animateTimer > 0) animateTimer = animateTimer - 1;

    run_tick(TickSlot::kTouch);

    if (ledFlashing) {
        if (ledFlashTimer) ledFlashTimer = ledFlashTimer - 1;
        if (ledFlashTimer == 0) {
            LedToggle();
            ledFlashTimer = ledFlashVal;
        }
    }

    run_tick(TickSlot::kSdCard);

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
        // The time still to go, so that a simulated board can skip ahead instead of polling.
        board_idle_for(counts_to_ns(counts + 1 - passed));
    }
}

}  // namespace

void KV_TimerSetTick(TickSlot slot, TickFn fn) {
    if (slot < TickSlot::kCount) ticks[int(slot)] = fn;
}

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
    for (; us >= kChunkUs; us -= kChunkUs) wait_counts(KV_TimerGetRawCount(), kCountsPerChunk);
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
