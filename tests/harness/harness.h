// Scenario-test harness: a simulated module driven through its serial ports in virtual time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/module.h"

namespace voxa_test {

constexpr int kHost = 0;  // com0
constexpr int kAux = 1;   // com1

class Harness {
  public:
    explicit Harness(sim::Panel panel = sim::Panel::kWvga);
    explicit Harness(sim::Module::Options options);

    sim::Module& module() { return module_; }

    // Gives the module's Flash2 window these bytes from offset 0, the rest erased (see
    // sim::Module::write_flash2), before boot() or for the next power-on. Bytes that do not fit
    // fail the test (false).
    bool flash2(const std::vector<uint8_t>& bytes);

    // Powers the module on and runs until its first prompt (">\r") has arrived; the start-up
    // output, prompt included, is returned.
    std::string boot();

    // Puts bytes on a line towards the module (nothing runs until time passes).
    void send(std::string_view bytes, int port = kHost) { module_.send(port, bytes); }
    // Lets virtual time pass.
    void run_ms(double ms) { module_.run_for_ms(ms); }
    // Everything received from the module on a port since the last take.
    std::string take(int port = kHost) { return module_.take_text(port); }
    std::vector<sim::TimedByte> take_timed(int port = kHost) { return module_.take_output(port); }

    // Sends one line (CR appended) and runs until a prompt (">\r", "!\r", "#\r" or "^\r") has
    // arrived on the host port or max_ms passed; returns what arrived. Text before the prompt
    // belongs to the command's reply.
    std::string command(std::string_view line, double max_ms = 1000);
    // Runs until text has arrived on a port (or max_ms passed); returns all output taken.
    std::string run_until_text(std::string_view text, double max_ms, int port = kHost);

    // The finger on the touch panel, in screen pixels, in virtual time (see sim::Module). Each
    // fails the test (and returns false) on a point off the panel or, for move and drag, when
    // no finger is down. drag runs ms of virtual time; tap touches, holds for ms, releases.
    bool touch(int x, int y, int pressure = -1);
    bool move(int x, int y);
    void release() { module_.release(); }
    bool drag(int x, int y, double ms);
    bool tap(int x, int y, double ms, int pressure = -1);
    // Changes the panel's set-up as the script line `panel` does, e.g. "noise=3 seed=7" or
    // "temp=99.0" (sim/touch_spec.h); a bad word fails the test.
    bool panel(std::string_view words);

    uint16_t pixel(int x, int y) const { return module_.pixel(x, y); }
    // CRC-32 of the whole frame buffer (for determinism checks).
    uint32_t framebuffer_crc() const;

  private:
    sim::Module module_;
};

// Start-up output of a module that finds no bitmap/macro file: without a card (and an erased
// window), and with a card that holds none.
inline constexpr std::string_view kBootNoFile = ":No .BIN file in flash or on SD card\r>\r";
inline constexpr std::string_view kBootNoFileOnCard = ":No bin file in Flash or SD card (1)\r>\r";

// Bytes as readable text for failure messages: CR as \r, others as \xNN.
std::string visible(std::string_view bytes);

}  // namespace voxa_test
