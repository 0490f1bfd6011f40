// Piped input for the host port, one line at a time, each when the module is ready for it.
//
// A file or a program piped into voxa-sim has all its lines ready at once, long before the
// firmware is up. A real host waits: for the start-up prompt, then for each line's prompt. The
// pacer does the same, so `printf 'vers\rf?\r' | voxa-sim --fast` gets both replies whole:
// - The first line goes after the start-up prompt (or after kStartupLimitNs without one, for a
//   module set up to send none). After a restart of the firmware it waits for the prompt again.
// - Each further line goes when the module has answered the previous one with a prompt line
//   (">", "!" or "#" followed by CR), or has been quiet for kQuietNs since it (lines that get no
//   prompt), or after kLineLimitNs whatever the module does.
// - At the end of the input the run is finished when the last line has been answered and the
//   module has then been quiet for kEndQuietNs, or kEndLimitNs after that answer at the latest.
// All times are virtual nanoseconds; the pacer never looks at the wall clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

class LinePacer {
  public:
    static constexpr uint64_t kStartupLimitNs = 10'000'000'000;
    static constexpr uint64_t kQuietNs = 300'000'000;
    static constexpr uint64_t kLineLimitNs = 10'000'000'000;
    static constexpr uint64_t kEndQuietNs = 500'000'000;
    static constexpr uint64_t kEndLimitNs = 10'000'000'000;
    // Input held here at most; the rest waits in the pipe, so a writer far ahead blocks.
    static constexpr size_t kMaxBuffered = 64 * 1024;

    // Bytes from the host; lines end with CR.
    void add_input(std::string_view bytes) { buffered_.append(bytes); }
    void end_of_input() { eof_ = true; }
    bool wants_input() const { return !eof_ && buffered_.size() < kMaxBuffered; }
    bool input_ended() const { return eof_; }

    // What the module sent, seen at virtual time now_ns.
    void module_output(std::string_view bytes, uint64_t now_ns);
    // The firmware started again (reset, power-on): its start-up prompt is awaited.
    void module_restarted(uint64_t now_ns);

    // The bytes that may go on the wire at now_ns, at most max_bytes.
    std::string take(uint64_t now_ns, size_t max_bytes);

    // End of input seen, every line sent and answered, and the module done talking.
    bool finished(uint64_t now_ns) const;

  private:
    enum class State { kStarting, kReady, kSending, kAwaiting };

    bool answered(uint64_t now_ns) const;

    std::string buffered_;
    bool eof_ = false;
    State state_ = State::kStarting;
    // When the current wait began: the start, or the moment the last line was complete.
    uint64_t since_ns_ = 0;
    bool started_ = false;
    bool output_seen_ = false;
    uint64_t last_output_ns_ = 0;
    bool prompt_seen_ = false;
    uint64_t answered_ns_ = 0;
    // The prompt recogniser: position in the line the module is sending.
    bool at_line_start_ = true;
    char line_first_ = 0;
    size_t line_length_ = 0;
};

}  // namespace sim
