// How the simulated board talks to whatever drives it: voxa-sim in a parent process (child_link)
// or a test in the same process (standalone).
#pragma once

#include <cstdint>

#include "protocol.h"

namespace sim {

class Machine;

class Link {
  public:
    virtual ~Link() = default;
    // The board may run until this virtual time without asking.
    virtual uint64_t grant_until() const = 0;
    // The grant is used up (the board stands at now == grant_until()): report outputs and wait
    // for the next grant. Inputs that come with it are handed to the machine.
    virtual void sync(Machine& machine) = 0;
    virtual void uart_output(int port, uint64_t t_ns, uint8_t byte) = 0;
    virtual void event(uint64_t t_ns, simlink::Event kind, uint32_t value) = 0;
    // A fault injection cut the power. A board in its own process ends there, as a board
    // without power does; a board inside a test process returns and the machine stops storing
    // anything from then on.
    virtual void power_lost(uint64_t t_ns) = 0;
    // The firmware reset the processor / the simulated hardware stopped. Neither returns.
    [[noreturn]] virtual void reset(uint64_t t_ns) = 0;
    [[noreturn]] virtual void fatal(const char* why) = 0;
};

}  // namespace sim
