// The far end of one of the module's serial lines: a terminal, a pseudo-terminal that host
// programs open like a serial port, or a TCP socket. Everything here is non-blocking; the
// session polls the endpoints between slices of virtual time.
//
// An endpoint takes from its host only what the line can carry (Intake::max_bytes); the rest
// stays in the kernel's buffer, so a host that writes faster than the wire blocks or sees short
// writes, as on a real serial port. When a host goes away, what it wrote and the line has not
// carried yet is dropped, as on a pulled cable.
#pragma once

#include <poll.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cli_options.h"

namespace sim {

// What the line towards the module can take in one service call.
struct Intake {
    uint64_t now_ns = 0;          // virtual time
    size_t max_bytes = SIZE_MAX;  // bytes the wire can carry now
};

class Endpoint {
  public:
    virtual ~Endpoint() = default;

    // Adds the descriptors worth waking up for; input only when the line has room for it.
    virtual void add_poll_fds(std::vector<pollfd>* fds, bool want_input) = 0;
    // Handles whatever is ready without blocking; returns the bytes the host sent, at most
    // intake.max_bytes.
    virtual std::string service(const Intake& intake) = 0;
    // Bytes from the module towards the host, sent by virtual time now_ns. Dropped while no
    // host listens, as on a cable with nobody at the other end.
    virtual void write(std::string_view bytes, uint64_t now_ns) = 0;
    // The firmware has started again (reset or power-on).
    virtual void module_restarted(uint64_t /*now_ns*/) {}
    // A host has opened the port at least once (a terminal counts as always open).
    virtual bool opened() const = 0;
    // The host side has gone for good (end of input on stdio).
    virtual bool ended() const { return false; }
};

// The endpoint of the control console (--control) takes this port number.
constexpr int kControlPort = -1;
// "com0", "com1" or "control", as messages name an endpoint.
const char* endpoint_name(int port);

// Opens the endpoint for port (0 = com0, 1 = com1, kControlPort) and announces it on stderr where a
// host needs to know where to connect. nullptr with *error set when it cannot be opened; nullptr
// without error for "none".
std::unique_ptr<Endpoint> open_endpoint(const EndpointSpec& spec, int port, std::string* error);

// raw_input: piped input goes to the module as it comes instead of line by line (LinePacer).
std::unique_ptr<Endpoint> open_stdio_endpoint(bool raw_input, std::string* error);
std::unique_ptr<Endpoint> open_pty_endpoint(int port, const std::string& link, std::string* error);
std::unique_ptr<Endpoint> open_tcp_endpoint(int port, const std::string& address, int tcp_port,
                                            std::string* error);

// Output waiting for a slow reader: bytes the endpoint could not write yet. Bounded, since a
// reader that never reads must not make voxa-sim grow without end; a real UART would have lost
// them long before.
class OutputQueue {
  public:
    static constexpr size_t kLimit = 1u << 20;
    void append(std::string_view bytes);
    bool empty() const { return data_.empty(); }
    void clear() { data_.clear(); }
    // Writes what the descriptor takes. false when the reader has gone.
    bool flush(int fd, bool socket);

  private:
    std::string data_;
};

}  // namespace sim
