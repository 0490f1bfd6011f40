// The beeper: single beeps, repeating beeps and the three alarm sounds, timed by the 1 ms tick,
// and the tone generator and volume behind them.
#pragma once

#include <cstdint>

// Tone generator and volume. The compare value of the tone timer is computed here; a frequency
// is taken modulo 65536, and one that comes out as 0 is silence.
void InitAudio();
void SoundOn(uint32_t frequency);
void SoundOff();
// Hardware volume 0-255 (larger values are 255).
void SetAudioVolume(uint32_t volume);
// Routes the sound to the external speaker (nonzero) or the internal beeper, and stores the
// choice in the settings record (unsaved).
void SetExtSpeaker(int on);
int GetExtSpeaker();
// The tone timer's compare value for a frequency (modulo 65536); 0 Hz has none (returns false).
bool ToneCompare(uint32_t frequency, uint32_t* compare);

// Beeper state and the tone off; volume and speaker from the settings record. Called once at
// start-up, after the settings are loaded.
void KV_BeepInit();
// The beeper's step, once per millisecond from the timer interrupt.
void BeepTimerCheck();

// Frequency in Hz (settings record, unsaved), used from the next switch-on.
void BeepFrequency(uint32_t f);
uint32_t GetBeepFrequency();
// Volume 0-255 (low 8 bits kept, unsaved); the hardware gets it scaled by the ceiling.
void SetBeepVolume(uint32_t v);
int GetBeepVolume();
// Volume ceiling (low 8 bits, unsaved), applied by the next SetBeepVolume.
void BeepMaxSet(uint32_t m);

// ms = 0 switches the tone off and ends an alarm; otherwise one beep of ms milliseconds starts
// (a running one restarts with the new length).
void BeepImmediate(uint32_t ms);
// Tone on for on ms, off for off ms, starting with the on phase. An on-time of 0 stops every
// repeat, beep and alarm; an off-time of 0 gives a steady tone.
void BeepRepeat(uint32_t on, uint32_t off);
// 1 while the beep logic has the tone switched on.
int BeepActive();
// 1 while a single beep runs.
int BeepSingleActive();
// Alarm type 1-3 (low 8 bits) prepares its tones from the current frequency and returns 1; any
// other value ends the alarm and returns 0. The alarm sounds while the beep logic has the tone on.
int AlarmSet(uint32_t type);

void Beep_Hardware_On();
void Beep_Hardware_Off();
