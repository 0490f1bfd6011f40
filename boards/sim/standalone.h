// The simulated board inside the calling process, for unit tests, fuzzers and benchmarks that
// call firmware functions directly. Time is not granted by anyone: it runs as far as the
// firmware waits. The frame buffer lies between two guard zones that tests can inspect.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "machine.h"

namespace sim {

class Standalone {
public:
    static constexpr uint32_t kGuardPixels = 4096;
    static constexpr uint16_t kGuardPattern = 0xA55A;

    // The board of this process, created on first use.
    static Standalone& instance();

    Machine& machine() { return *machine_; }
    uint16_t* framebuffer() { return machine_->framebuffer(); }
    // True while nothing has been written into either guard zone.
    bool guards_intact() const;
    void reset_guards();

    // What the firmware sent on a port since the last take.
    std::string take_output(int port);
    // Puts bytes on a line towards the firmware, starting now.
    void send(int port, std::string_view bytes);
    // Lets virtual time pass with the processor idle.
    void run_for_ns(uint64_t ns);

private:
    Standalone();
    Machine* machine_;
};

}  // namespace sim
