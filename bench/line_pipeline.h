// The whole line pipeline on the in-process board, shared by its benchmark and by the driver
// that callgrind counts: a line's bytes through the host receive interrupt's work one by one,
// then one pass of the main loop, which reads the line, expands it, dispatches it, runs it and
// puts the reply into the transmitter. The transmitter is then emptied at once, so no pass
// waits for the line to drain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "core/serial_private.h"
#include "device/board.h"

namespace line_pipeline {

struct Line {
    const char* name;
    const char* text;  // CR ended
};

// Five typical host lines: the version, colours, a line, a text and a text with backquoted
// items and an expression.
inline constexpr Line kLines[] = {
    {"vers", "vers\r"},
    {"colors", "S 0 FFFF\r"},
    {"line", "l 10 10 20 20\r"},
    {"text", "t \"Hello\" 10 10\r"},
    {"backquotes", "t \"`i1` `s2`\" `(3*4)` 10\r"},
};

// The firmware as a power-on leaves it at its first prompt, on this process's board.
inline void start_firmware() {
    static bool started = false;
    if (started) return;
    started = true;
    auto& board = sim::Standalone::instance();
    interrupt_init();
    InitEverything();
    power_on_init();
    main_loop_setup();
    board.run_for_ns(10'000'000);
    board.take_output(kCom0);
}

inline void run_line(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) serial::host_rx_byte(uint8_t(text[i]));
    main_loop_pass();
    sim::Standalone::instance().discard_output(kCom0);
}

// The reply to one line, the line's bytes sent to the end of it: empty unless the pass took
// the line and answered it.
inline std::string reply_to(const Line& line) {
    auto& board = sim::Standalone::instance();
    for (const char* p = line.text; *p; ++p) serial::host_rx_byte(uint8_t(*p));
    main_loop_pass();
    board.run_for_ns(20'000'000);
    return board.take_output(kCom0);
}

}  // namespace line_pipeline
