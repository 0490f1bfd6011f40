// One run of a simulated module in its outside world: virtual time paced against the wall clock
// (or not), the serial endpoints served between slices of virtual time, output routed to the
// endpoints, to the script's inboxes and to the traffic log.
//
// Bytes from an endpoint go on the wire at the virtual time at which they are picked up, and
// only as many as the line carries by the end of the current slice at the UART's programmed
// rate, plus a small FIFO on the host's side: a host that writes faster waits, as on a real
// serial line. A port without an endpoint collects what the module sends in its inbox, where a
// script (or a test) reads it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "sim/endpoint.h"
#include "sim/module.h"
#include "sim/traffic_log.h"

namespace sim {

class Session {
  public:
    static constexpr uint64_t kForever = UINT64_MAX;
    // Realtime pacing grants this much virtual time at once and serves the endpoints in
    // between, so a host sees replies within a few milliseconds.
    static constexpr uint64_t kRealtimeSliceNs = 2'000'000;
    // Fast runs with endpoints still look at them this often (in virtual time).
    static constexpr uint64_t kFastSliceNs = 10'000'000;
    // When the firmware runs slower than the wall clock by more than this, realtime pacing
    // stops trying to catch up and goes on from where it is.
    static constexpr std::chrono::milliseconds kMaxLag{250};
    // Bytes a host may have handed to its serial adapter beyond what the wire has carried.
    static constexpr uint64_t kHostFifoBytes = 16;

    Session(Module& module, bool realtime);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Module& module() { return module_; }
    bool realtime() const { return realtime_; }
    void set_log(TrafficLog* log) { log_ = log; }
    // Everything that passes on the two lines, for a monitor: from_host for bytes as they are
    // delivered to the module, else bytes the module sent.
    std::function<void(int port, bool from_host, std::string_view bytes)> on_traffic;
    // Called on this thread between two slices of virtual time (and while waiting for a host to
    // open its port), where the world may act on the module.
    std::function<void()> between_slices;
    void set_endpoint(int port, std::unique_ptr<Endpoint> endpoint);
    // When set, the end of input on an endpoint (stdin at end of file) ends the run.
    void set_end_on_host_eof(bool on) { end_on_host_eof_ = on; }

    // Waits in wall time, virtual time standing still, until a host has opened the endpoint
    // of port. false when the run was stopped meanwhile.
    bool wait_until_opened(int port);

    void power_on();
    void power_off();
    void power_cycle();
    void hardware_reset();

    // Lets virtual time run up to t_ns. Returns early when the run has to end (ending()).
    void advance_to(uint64_t t_ns);
    uint64_t now() const { return module_.now_ns(); }

    // Bytes towards the module, put on the wire at the current virtual time (behind what is
    // still on its way).
    void send(int port, std::string_view bytes);
    // What the module sent on a port without endpoint and nobody has taken yet.
    std::string& inbox(int port) { return inbox_[port & 1]; }

    // A stop signal came, a host ended its input (see set_end_on_host_eof) or the module
    // stopped (crash, hang).
    bool ending() const;
    bool module_stopped() const { return module_.status() == Module::Status::kStopped; }

  private:
    // Serves the endpoints until the wall clock reaches the moment of virtual time until_ns
    // (realtime), or once without waiting (fast).
    void serve_endpoints(uint64_t until_ns);
    // How many bytes port's line can take now so that they have been carried by until_ns
    // (plus the host FIFO).
    size_t line_room(int port, uint64_t until_ns) const;
    void collect_output();
    void note(std::string_view text);
    // Logs the module's stop once, whenever it is first seen.
    void note_if_stopped();
    void restart_pacing();

    Module& module_;
    bool realtime_;
    TrafficLog* log_ = nullptr;
    std::string logged_sound_ = "sound off";
    std::unique_ptr<Endpoint> endpoints_[2];
    std::string inbox_[2];
    bool end_on_host_eof_ = false;
    // When each line has carried everything put on it so far.
    uint64_t wire_free_ns_[2] = {};
    // Power-ons and resets seen, to tell the endpoints of a restart.
    int starts_seen_ = 0;
    bool stop_noted_ = false;
    std::chrono::steady_clock::time_point wall_base_;
    uint64_t virtual_base_ = 0;
};

}  // namespace sim
