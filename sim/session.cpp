#include "sim/session.h"

#include "sim/sound.h"
#include "src/device/board.h"

#include <time.h>

#include <algorithm>
#include <vector>

#include "sim/stop_signal.h"

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes towards an idle endpoint are not worth waking for when this slice of a fast run ends.
constexpr uint64_t kFastNoEndpointSliceNs = 1'000'000'000;

// A byte on the line: start bit, eight data bits, stop bit.
uint64_t byte_ns(uint32_t rate) {
    return 10'000'000'000ull / (rate ? rate : 1);
}

}  // namespace

Session::Session(Module& module, bool realtime) : module_(module), realtime_(realtime) {
    module_.on_input = [this](int port, uint64_t t_ns, std::string_view bytes) {
        if (log_) log_->input(port, t_ns, bytes);
        if (on_traffic) on_traffic(port, true, bytes);
    };
    module_.on_event = [this](const BoardEvent& e) {
        if (!log_) return;
        const bool sound =
            e.kind == simlink::Event::kToneOn || e.kind == simlink::Event::kToneOff ||
            e.kind == simlink::Event::kAudioDuty ||
            (e.kind == simlink::Event::kGpio && (e.value >> 8) == uint32_t(Gpio::kSpeakerSelect));
        if (!sound) return;
        // A volume or speaker change while the tone is off sounds no different.
        std::string text = sound_text(module_.sound().back());
        if (text == logged_sound_) return;
        log_->note(e.t_ns, text);
        logged_sound_ = std::move(text);
    };
    restart_pacing();
}

Session::~Session() {
    module_.on_input = nullptr;
    module_.on_event = nullptr;
}

void Session::send(int port, std::string_view bytes) {
    port &= 1;
    if (bytes.empty()) return;
    const uint64_t start = std::max(module_.now_ns(), wire_free_ns_[port]);
    wire_free_ns_[port] = start + bytes.size() * byte_ns(module_.uart_rate(port));
    module_.send(port, bytes);
}

size_t Session::line_room(int port, uint64_t until_ns) const {
    const uint64_t per_byte = byte_ns(module_.uart_rate(port));
    const uint64_t busy_until = std::max(module_.now_ns(), wire_free_ns_[port & 1]);
    const uint64_t horizon = until_ns + kHostFifoBytes * per_byte;
    return horizon > busy_until ? size_t((horizon - busy_until) / per_byte) : 0;
}

void Session::set_endpoint(int port, std::unique_ptr<Endpoint> endpoint) {
    endpoints_[port & 1] = std::move(endpoint);
}

void Session::restart_pacing() {
    wall_base_ = Clock::now();
    virtual_base_ = module_.now_ns();
}

bool Session::ending() const {
    if (stop_requested() || module_stopped()) return true;
    if (end_on_host_eof_) {
        for (const auto& e : endpoints_) {
            if (e && e->ended()) return true;
        }
    }
    return false;
}

void Session::note(std::string_view text) {
    if (log_) log_->note(module_.now_ns(), text);
}

void Session::note_if_stopped() {
    if (module_stopped() && !stop_noted_) {
        stop_noted_ = true;
        note("stopped: " + module_.stop_reason());
    }
}

void Session::power_on() {
    note("power on");
    stop_noted_ = false;
    module_.power_on();
    note_if_stopped();
    restart_pacing();
}

void Session::power_off() {
    note("power off");
    module_.power_off();
}

void Session::power_cycle() {
    note("power cycle");
    stop_noted_ = false;
    module_.power_cycle();
    note_if_stopped();
    restart_pacing();
}

void Session::hardware_reset() {
    note("reset");
    module_.hardware_reset();
    note_if_stopped();
}

bool Session::wait_until_opened(int port) {
    Endpoint* e = endpoints_[port & 1].get();
    while (e && !e->opened()) {
        if (stop_requested()) return false;
        std::vector<pollfd> fds;
        for (const auto& ep : endpoints_) {
            if (ep) ep->add_poll_fds(&fds, true);
        }
        // A bounded wait: a signal that lands just before poll() must not be missed for long.
        ::poll(fds.data(), fds.size(), 200);
        // Whatever a host sends before the module has power is lost on the wire.
        for (const auto& ep : endpoints_) {
            if (ep) ep->service({module_.now_ns(), SIZE_MAX});
        }
        if (between_slices) between_slices();
    }
    restart_pacing();
    return true;
}

void Session::serve_endpoints(uint64_t until_ns) {
    const bool any = endpoints_[0] || endpoints_[1];
    Clock::time_point deadline = Clock::now();
    if (realtime_) {
        deadline = wall_base_ + std::chrono::nanoseconds(until_ns - virtual_base_);
        if (Clock::now() > deadline + kMaxLag) {
            restart_pacing();
            deadline = wall_base_ + std::chrono::nanoseconds(until_ns - virtual_base_);
        }
    }
    for (;;) {
        std::vector<pollfd> fds;
        for (int port = 0; port < 2; ++port) {
            if (endpoints_[port]) {
                endpoints_[port]->add_poll_fds(&fds, line_room(port, until_ns) > 0);
            }
        }
        const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
        if (!any && left == Clock::duration::zero()) return;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
        ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        for (int port = 0; port < 2; ++port) {
            if (!endpoints_[port]) continue;
            const Intake intake{module_.now_ns(), line_room(port, until_ns)};
            const std::string in = endpoints_[port]->service(intake);
            if (!in.empty()) send(port, in);
        }
        if (ending() || Clock::now() >= deadline) return;
    }
}

void Session::collect_output() {
    const int starts = module_.power_ons() + module_.resets();
    if (starts != starts_seen_) {
        starts_seen_ = starts;
        for (const auto& e : endpoints_) {
            if (e) e->module_restarted(module_.now_ns());
        }
    }
    for (int port = 0; port < 2; ++port) {
        const auto out = module_.take_output(port);
        if (out.empty()) continue;
        std::string bytes;
        bytes.reserve(out.size());
        for (const auto& b : out) {
            if (log_) log_->output(port, b.t_ns, b.byte);
            bytes += char(b.byte);
        }
        if (on_traffic) on_traffic(port, false, bytes);
        if (endpoints_[port]) {
            endpoints_[port]->write(bytes, module_.now_ns());
        } else {
            inbox_[port] += bytes;
        }
    }
    if (log_) log_->settle(module_.now_ns());
    note_if_stopped();
}

void Session::advance_to(uint64_t t_ns) {
    const bool any = endpoints_[0] || endpoints_[1];
    const uint64_t slice = realtime_ ? kRealtimeSliceNs
                           : any     ? kFastSliceNs
                                     : kFastNoEndpointSliceNs;
    while (!ending() && module_.now_ns() < t_ns) {
        const uint64_t now = module_.now_ns();
        const uint64_t end = t_ns - now > slice ? now + slice : t_ns;
        // Realtime: wait first, then run, so that what the module sends in the slice reaches
        // the host when the wall clock says it was sent, not a slice early.
        serve_endpoints(end);
        if (stop_requested()) break;
        module_.run_until(end);
        collect_output();
        if (between_slices) between_slices();
    }
}

}  // namespace sim
