// The child end of the lockstep link: a simulated board started by voxa-sim.
#pragma once

#include <vector>

#include "link.h"

namespace sim {

class ChildLink final : public Link {
  public:
    explicit ChildLink(int fd) : fd_(fd) {}

    // Reads the parent's start message; returns the power-on time.
    uint64_t receive_start();
    void send_hello(const simlink::HelloPayload& hello);

    uint64_t grant_until() const override { return grant_; }
    void sync(Machine& machine) override;
    void uart_output(int port, uint64_t t_ns, uint8_t byte) override;
    void event(uint64_t t_ns, simlink::Event kind, uint32_t value) override;
    [[noreturn]] void power_lost(uint64_t t_ns) override;
    [[noreturn]] void reset(uint64_t t_ns) override;
    [[noreturn]] void fatal(const char* why) override;

  private:
    void send(simlink::Msg type, const void* payload, uint32_t length);
    void flush();
    // Reads one message; ends the process quietly when the parent has gone.
    simlink::Msg receive(std::vector<uint8_t>& payload);

    int fd_;
    uint64_t grant_ = 0;
    std::vector<simlink::OutputRecord> output_[2];
    std::vector<simlink::EventRecord> events_;
};

}  // namespace sim
