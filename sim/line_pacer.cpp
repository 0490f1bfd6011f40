#include "sim/line_pacer.h"

#include <algorithm>

namespace sim {

namespace {

// Time from since to now; nothing when a caller's clock lags behind an event it reported.
uint64_t elapsed(uint64_t now_ns, uint64_t since_ns) {
    return now_ns > since_ns ? now_ns - since_ns : 0;
}

}  // namespace

void LinePacer::module_output(std::string_view bytes, uint64_t now_ns) {
    if (bytes.empty()) return;
    output_seen_ = true;
    last_output_ns_ = now_ns;
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (line_length_ == 1 &&
                (line_first_ == '>' || line_first_ == '!' || line_first_ == '#'))
                prompt_seen_ = true;
            line_length_ = 0;
            continue;
        }
        if (line_length_ == 0) line_first_ = c;
        ++line_length_;
    }
}

void LinePacer::module_restarted(uint64_t now_ns) {
    state_ = State::kStarting;
    since_ns_ = now_ns;
    started_ = true;
    prompt_seen_ = false;
    output_seen_ = false;
    line_length_ = 0;
}

bool LinePacer::answered(uint64_t now_ns) const {
    if (prompt_seen_) return true;
    const uint64_t waited = elapsed(now_ns, since_ns_);
    if (state_ == State::kStarting) return waited >= kStartupLimitNs;
    const uint64_t quiet_from = output_seen_ ? std::max(since_ns_, last_output_ns_) : since_ns_;
    return elapsed(now_ns, quiet_from) >= kQuietNs || waited >= kLineLimitNs;
}

std::string LinePacer::take(uint64_t now_ns, size_t max_bytes) {
    std::string out;
    if (!started_) {
        started_ = true;
        since_ns_ = now_ns;
    }
    for (;;) {
        switch (state_) {
            case State::kStarting:
            case State::kAwaiting:
                if (!answered(now_ns)) return out;
                state_ = State::kReady;
                answered_ns_ = now_ns;
                break;
            case State::kReady:
                if (buffered_.empty()) return out;
                state_ = State::kSending;
                break;
            case State::kSending: {
                const size_t cr = buffered_.find('\r');
                const bool complete = cr != std::string::npos || eof_;
                size_t n = cr != std::string::npos ? cr + 1 : buffered_.size();
                const size_t room = max_bytes - out.size();
                const bool whole = n <= room;
                n = std::min(n, room);
                out.append(buffered_, 0, n);
                buffered_.erase(0, n);
                if (!whole || !complete) return out;
                // The line is on its way; whatever the module said before cannot answer it.
                state_ = State::kAwaiting;
                since_ns_ = now_ns;
                prompt_seen_ = false;
                output_seen_ = false;
                return out;
            }
        }
    }
}

bool LinePacer::finished(uint64_t now_ns) const {
    if (!eof_ || !buffered_.empty() || state_ == State::kSending) return false;
    uint64_t answered_at = answered_ns_;
    if (state_ != State::kReady) {
        if (!answered(now_ns)) return false;
        answered_at = now_ns;
    }
    // Notifications may follow the last answer; the run ends once the module is done talking.
    return elapsed(now_ns, last_output_ns_) >= kEndQuietNs ||
           elapsed(now_ns, answered_at) >= kEndLimitNs;
}

}  // namespace sim
