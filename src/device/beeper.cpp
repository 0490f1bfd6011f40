#include "device/beeper.h"

#include "base/settings_record.h"
#include "device/board.h"

namespace {

// Shared with the timer interrupt: the main loop changes them inside an IrqGuard.
volatile uint8_t beep_state;
volatile uint32_t repeat_beep_ms_reload_on;
volatile uint32_t repeat_beep_ms_reload_off;
volatile uint32_t repeat_beep_ms;
volatile uint8_t repeat_beep_state;
volatile uint32_t immediate_beep_ms;
volatile uint8_t alarmType;
volatile uint32_t timer_ms;
volatile uint8_t ba;
volatile uint32_t ba1;
volatile uint32_t ba2;

constexpr uint32_t kToneSteps = 65536;

// The alarm plays only inside the beep logic's on time, so that whatever switches the tone off
// (the end of a beep, an off phase, "beep 0", a stop) silences the alarm too.
void alarm_tone(uint32_t frequency) {
    if (beep_state) SoundOn(frequency);
}
void alarm_silence() {
    if (beep_state) SoundOff();
}
void alarm_alternate() {
    if (ba) {
        ba = 0;
        alarm_tone(ba2);
    } else {
        ba = 1;
        alarm_tone(ba1);
    }
}

void alarm_step() {
    const uint32_t old = timer_ms;
    timer_ms = old - 1;
    switch (alarmType) {
        case 1:
            if ((old & 0xF) == 0) {
                if (ba) {
                    ba = 0;
                    alarm_tone(ba2);
                } else {
                    ba = 1;
                    alarm_silence();
                }
            }
            break;
        case 2:
            if ((old & 0x3) == 0) alarm_alternate();
            break;
        case 3:
            if (old == 0) {
                timer_ms = 250;
                alarm_alternate();
            }
            break;
        default:
            break;
    }
}

// A phase ends on the tick that uses up its last millisecond, so "rb 200 300" is 200 ms on and
// 300 ms off from tick to tick.
void repeat_step() {
    if (repeat_beep_ms_reload_on == 0) return;
    if (repeat_beep_ms) repeat_beep_ms = repeat_beep_ms - 1;
    if (repeat_beep_ms) return;
    if (repeat_beep_state && repeat_beep_ms_reload_off) {
        repeat_beep_state = 0;
        repeat_beep_ms = repeat_beep_ms_reload_off;
        Beep_Hardware_Off();
    } else {
        repeat_beep_state = 1;
        repeat_beep_ms = repeat_beep_ms_reload_on;
        Beep_Hardware_On();
    }
}

}  // namespace

bool ToneCompare(uint32_t frequency, uint32_t* compare) {
    const uint32_t f = frequency % kToneSteps;
    if (f == 0) return false;
    *compare = kToneClockHz / (2 * f) - 1;
    return true;
}

void InitAudio() {
    audio_init();
    SetExtSpeaker(eepromData.externalSpeaker);
}

void SoundOn(uint32_t frequency) {
    uint32_t compare;
    if (ToneCompare(frequency, &compare)) {
        tone_start(compare);
    } else {
        tone_stop();
    }
}

void SoundOff() {
    tone_stop();
}

void SetAudioVolume(uint32_t volume) {
    if (volume > 255) volume = 255;
    audio_pwm_duty(volume * kAudioPwmPeriod / 255);
}

void SetExtSpeaker(int on) {
    eepromData.externalSpeaker = on ? 1 : 0;
    gpio_write(Gpio::kSpeakerSelect, !on);
}

int GetExtSpeaker() {
    return eepromData.externalSpeaker;
}

void KV_BeepInit() {
    {
        IrqGuard guard;
        beep_state = 0;
        repeat_beep_ms_reload_on = 0;
        repeat_beep_ms = 0;
        immediate_beep_ms = 0;
        AlarmSet(0);
    }
    InitAudio();
    SetBeepVolume(eepromData.beepVol);
}

void BeepTimerCheck() {
    alarm_step();
    if (immediate_beep_ms) {
        immediate_beep_ms = immediate_beep_ms - 1;
        if (immediate_beep_ms == 0) {
            Beep_Hardware_Off();
            alarmType = 0;
        }
    }
    repeat_step();
}

void BeepFrequency(uint32_t f) {
    eepromData.beepFreq = f;
}
uint32_t GetBeepFrequency() {
    return eepromData.beepFreq;
}

void SetBeepVolume(uint32_t v) {
    eepromData.beepVol = uint8_t(v);
    SetAudioVolume(uint32_t(eepromData.beepVol) * eepromData.beepMax / 255);
}
int GetBeepVolume() {
    return eepromData.beepVol;
}

void BeepMaxSet(uint32_t m) {
    eepromData.beepMax = uint8_t(m);
}

void BeepImmediate(uint32_t ms) {
    IrqGuard guard;
    if (ms == 0) {
        immediate_beep_ms = 0;
        alarmType = 0;
        Beep_Hardware_Off();
        return;
    }
    immediate_beep_ms = ms;
    Beep_Hardware_On();
}

void BeepRepeat(uint32_t on, uint32_t off) {
    IrqGuard guard;
    repeat_beep_ms_reload_on = 0;
    Beep_Hardware_Off();
    if (on == 0) {
        immediate_beep_ms = 0;
        alarmType = 0;
        return;
    }
    repeat_beep_ms_reload_off = off;
    repeat_beep_ms = on;
    repeat_beep_state = 1;
    repeat_beep_ms_reload_on = on;
    Beep_Hardware_On();
}

int BeepActive() {
    return beep_state;
}

int BeepSingleActive() {
    return immediate_beep_ms != 0;
}

int AlarmSet(uint32_t type) {
    IrqGuard guard;
    const uint8_t t = uint8_t(type);
    const uint32_t f = eepromData.beepFreq;
    timer_ms = 1;
    if (t < 1 || t > 3) {
        alarmType = 0;
        return 0;
    }
    static constexpr uint32_t kRise[] = {750, 500, 386};
    ba2 = f + kRise[t - 1];
    ba1 = f;
    ba = 1;
    alarmType = t;
    return 1;
}

void Beep_Hardware_On() {
    if (beep_state) return;
    SoundOn(eepromData.beepFreq);
    beep_state = 1;
}

void Beep_Hardware_Off() {
    if (!beep_state) return;
    SoundOff();
    beep_state = 0;
}
