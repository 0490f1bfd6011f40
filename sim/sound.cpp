#include "sim/sound.h"

#include "src/device/board.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace sim {

std::string sound_text(const SoundState& s) {
    if (!s.on) return "sound off";
    char text[96];
    std::snprintf(text, sizeof text, "sound on %.1f Hz, volume %u/102, %s", s.hz(),
                  unsigned(s.duty), s.external ? "external speaker" : "beeper");
    return text;
}

namespace {

void put16(std::string& out, uint16_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
}
void put32(std::string& out, uint32_t v) {
    put16(out, uint16_t(v & 0xFFFF));
    put16(out, uint16_t(v >> 16));
}

// Half the full scale, clear of clipping in players that filter it.
constexpr double kFullVolume = 16383.0;
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

bool write_wav(const std::string& path, const std::vector<SoundState>& timeline, uint64_t end_ns,
               std::string* error) {
    const uint64_t samples = end_ns * kWavRate / 1'000'000'000ull;
    // The data chunk's size field is 32 bits.
    if (samples * 2 > 0xFFFFFFFFull - 36) {
        *error = path + ": the run is too long for a WAV file";
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        *error = path + ": " + (errno ? std::strerror(errno) : "cannot be written");
        return false;
    }
    const uint32_t data_bytes = uint32_t(samples * 2);
    std::string head = "RIFF";
    put32(head, 36 + data_bytes);
    head += "WAVEfmt ";
    put32(head, 16);
    put16(head, 1);  // PCM
    put16(head, 1);  // mono
    put32(head, kWavRate);
    put32(head, kWavRate * 2);
    put16(head, 2);
    put16(head, 16);
    head += "data";
    put32(head, data_bytes);
    out.write(head.data(), std::streamsize(head.size()));

    std::string block;
    size_t at = 0;
    // Where the running wave began: the timer restarts when it is started with a new compare
    // value, not when only the volume changes.
    uint64_t wave_start = 0;
    for (uint64_t i = 0; i < samples; ++i) {
        const uint64_t t = i * 1'000'000'000ull / kWavRate;
        while (at + 1 < timeline.size() && timeline[at + 1].t_ns <= t) {
            const SoundState& prev = timeline[at];
            const SoundState& next = timeline[at + 1];
            if (next.on && (!prev.on || next.compare != prev.compare)) wave_start = next.t_ns;
            ++at;
        }
        int16_t value = 0;
        const SoundState& s = timeline.empty() ? SoundState{} : timeline[at];
        const double hz = s.hz();
        if (s.duty && hz > 0 && hz < kWavRate / 2.0) {
            const double seconds = double(t - wave_start) / 1e9;
            value = int16_t(kFullVolume * s.level() * std::sin(kTwoPi * hz * seconds));
        }
        put16(block, uint16_t(value));
        if (block.size() >= 65536) {
            out.write(block.data(), std::streamsize(block.size()));
            block.clear();
        }
    }
    out.write(block.data(), std::streamsize(block.size()));
    out.close();
    if (!out) {
        *error = path + ": " + (errno ? std::strerror(errno) : "cannot be written");
        return false;
    }
    return true;
}

}  // namespace sim
