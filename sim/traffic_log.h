// The record of a run: every byte on both serial ports with the virtual time it was on the wire,
// one readable line per burst, for instance
//
//        1.203417 com0 out  >\r
//        1.250000 com0 in   vers\r
//        0.000000 ---- power on
//
// The lines are a function of the bytes and their times alone (not of how the run was sliced
// or paced), so the same script always gives the same log, byte for byte.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class TrafficLog {
  public:
    explicit TrafficLog(std::ostream& out) : out_(out) {}
    ~TrafficLog() { finish(); }
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    // Bytes the host put on the wire towards the module at t_ns.
    void input(int port, uint64_t t_ns, std::string_view bytes);
    // One byte the module sent, finished on the wire at t_ns.
    void output(int port, uint64_t t_ns, uint8_t byte);
    // Something that happened to the module (power, reset, a stop); written after every byte
    // before t_ns.
    void note(uint64_t t_ns, std::string_view text);
    // Virtual time has reached now_ns: no byte earlier than that can still come, so everything
    // before it may be written.
    void settle(uint64_t now_ns);
    // Writes everything still held.
    void finish();

    // A burst ends after CR or LF, at this many bytes, or after this much silence.
    static constexpr size_t kMaxBurst = 64;
    static constexpr uint64_t kBurstGapNs = 10'000'000;

  private:
    struct Record {
        uint64_t t_ns;
        uint8_t port;
        bool out;
        uint8_t byte;
    };
    void take(const Record& r);
    void end_burst();
    void write_line(uint64_t t_ns, std::string_view what, std::string_view text);

    std::ostream& out_;
    std::vector<Record> pending_;
    // The burst being gathered.
    std::string burst_;
    uint64_t burst_t_ = 0;
    uint64_t burst_last_ = 0;
    int burst_port_ = 0;
    bool burst_out_ = false;
};

}  // namespace sim
