// The beeper's sound as the world hears it: a readable line per change (for logs) and a WAV
// recording of the timeline.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/module.h"

namespace sim {

// "sound on 2600.0 Hz, volume 80/102, beeper" or "sound off".
std::string sound_text(const SoundState& s);

constexpr uint32_t kWavRate = 48000;

// Writes the timeline from time 0 to end_ns as mono 16-bit PCM at kWavRate. A tone is recorded
// as the fundamental of the timer's square wave, which is what a small beeper's sound mostly
// carries (its harmonics would alias at this rate), with the amplitude proportional to the
// volume PWM's duty; silence where the tone is off or above half the rate. false with *error set
// when the file cannot be written.
bool write_wav(const std::string& path, const std::vector<SoundState>& timeline, uint64_t end_ns,
               std::string* error);

}  // namespace sim
