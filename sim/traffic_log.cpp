#include "sim/traffic_log.h"

#include <algorithm>
#include <cstdio>

#include "sim/byte_text.h"

namespace sim {

void TrafficLog::input(int port, uint64_t t_ns, std::string_view bytes) {
    for (const char c : bytes) pending_.push_back({t_ns, uint8_t(port & 1), false, uint8_t(c)});
}

void TrafficLog::output(int port, uint64_t t_ns, uint8_t byte) {
    pending_.push_back({t_ns, uint8_t(port & 1), true, byte});
}

void TrafficLog::settle(uint64_t now_ns) {
    // Bytes stamped exactly now may still be joined by others of the same instant from the
    // next slice, so they wait; their order must not depend on where a slice ended.
    auto later = std::stable_partition(pending_.begin(), pending_.end(),
                                       [&](const Record& r) { return r.t_ns < now_ns; });
    std::vector<Record> ready(pending_.begin(), later);
    pending_.erase(pending_.begin(), later);
    std::stable_sort(ready.begin(), ready.end(), [](const Record& a, const Record& b) {
        if (a.t_ns != b.t_ns) return a.t_ns < b.t_ns;
        if (a.port != b.port) return a.port < b.port;
        return a.out < b.out;
    });
    for (const auto& r : ready) take(r);
    if (!burst_.empty() && now_ns > burst_last_ + kBurstGapNs) end_burst();
    out_.flush();
}

void TrafficLog::take(const Record& r) {
    if (!burst_.empty() &&
        (r.port != burst_port_ || r.out != burst_out_ || r.t_ns > burst_last_ + kBurstGapNs)) {
        end_burst();
    }
    if (burst_.empty()) {
        burst_t_ = r.t_ns;
        burst_port_ = r.port;
        burst_out_ = r.out;
    }
    burst_ += char(r.byte);
    burst_last_ = r.t_ns;
    if (r.byte == '\r' || r.byte == '\n' || burst_.size() >= kMaxBurst) end_burst();
}

void TrafficLog::end_burst() {
    if (burst_.empty()) return;
    const std::string what =
        std::string("com") + char('0' + burst_port_) + (burst_out_ ? " out " : " in  ");
    write_line(burst_t_, what, escape_bytes(burst_));
    burst_.clear();
}

void TrafficLog::note(uint64_t t_ns, std::string_view text) {
    settle(t_ns + 1);
    end_burst();
    write_line(t_ns, "----", text);
    out_.flush();
}

void TrafficLog::finish() {
    settle(UINT64_MAX);
    end_burst();
    out_.flush();
}

void TrafficLog::write_line(uint64_t t_ns, std::string_view what, std::string_view text) {
    // Integer arithmetic, not a double: the stamp must never depend on rounding.
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%llu.%06llu",
                  static_cast<unsigned long long>(t_ns / 1'000'000'000u),
                  static_cast<unsigned long long>(t_ns % 1'000'000'000u / 1'000u));
    char head[48];
    std::snprintf(head, sizeof head, "%11s ", stamp);
    out_ << head << what << ' ' << text << '\n';
}

}  // namespace sim
