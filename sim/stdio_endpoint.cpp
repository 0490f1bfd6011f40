// The terminal voxa-sim runs in as the host: lines typed are sent with CR, the module's CR ends
// a line on screen. Input that is not a terminal (a pipe, a file) goes line by line, each when
// the module is ready for it (LinePacer), unless raw input was asked for.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "sim/endpoint.h"
#include "sim/line_pacer.h"

namespace sim {

namespace {

class StdioEndpoint final : public Endpoint {
  public:
    explicit StdioEndpoint(bool raw_input) {
        tty_in_ = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0;
        tty_out_ = isatty(STDOUT_FILENO);
        paced_ = !tty_in_ && !raw_input;
        if (tty_in_) {
            // The terminal keeps its line editing and echo (the module echoes nothing), but
            // Ctrl-S and Ctrl-Q must reach the module as XOFF and XON instead of pausing the
            // terminal.
            termios t = saved_;
            t.c_iflag &= ~tcflag_t(IXON | IXOFF);
            tcsetattr(STDIN_FILENO, TCSANOW, &t);
        }
    }
    ~StdioEndpoint() override {
        if (tty_in_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }

    void add_poll_fds(std::vector<pollfd>* fds, bool want_input) override {
        const bool want = paced_ ? pacer_.wants_input() : want_input;
        if (!eof_ && want) fds->push_back({STDIN_FILENO, POLLIN, 0});
    }

    std::string service(const Intake& intake) override {
        now_ns_ = intake.now_ns;
        if (!paced_) return read_input(intake.max_bytes);
        if (pacer_.wants_input()) pacer_.add_input(read_input(LinePacer::kMaxBuffered));
        if (eof_) pacer_.end_of_input();
        return pacer_.take(intake.now_ns, intake.max_bytes);
    }

    void module_restarted(uint64_t now_ns) override {
        if (paced_) pacer_.module_restarted(now_ns);
    }

    void write(std::string_view bytes, uint64_t now_ns) override {
        now_ns_ = std::max(now_ns_, now_ns);
        if (paced_) pacer_.module_output(bytes, now_ns);
        std::string s;
        for (const char ch : bytes) {
            const auto c = static_cast<unsigned char>(ch);
            const bool after_cr = last_out_cr_;
            last_out_cr_ = c == '\r';
            if (c == '\r') {
                s += '\n';
            } else if (c == '\n') {
                if (!after_cr) s += '\n';
            } else if (tty_out_ && (c < 0x20 || c >= 0x7F) && c != '\t') {
                // Raw control bytes would drive the terminal instead of being seen.
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                s += buf;
            } else {
                s += char(c);
            }
        }
        size_t done = 0;
        while (done < s.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, s.data() + done, s.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;  // nobody reads standard output any more
            done += size_t(n);
        }
    }

    bool opened() const override { return true; }
    bool ended() const override { return paced_ ? pacer_.finished(now_ns_) : eof_; }

  private:
    // Reads what standard input has, at most max_bytes, turning line ends into CR.
    std::string read_input(size_t max_bytes) {
        std::string in;
        if (eof_ || max_bytes == 0) return in;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return in;
        if (p.revents & POLLNVAL) {
            eof_ = true;
            return in;
        }
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, std::min(sizeof buf, max_bytes));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return in;
        if (n <= 0) {
            eof_ = true;
            return in;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            // A typed line ends in LF; the module wants CR. CR LF (a file from elsewhere) is
            // one line end, not two.
            if (c == '\n') {
                if (!last_in_cr_) in += '\r';
            } else {
                in += c;
            }
            last_in_cr_ = c == '\r';
        }
        return in;
    }

    termios saved_{};
    bool tty_in_ = false;
    bool tty_out_ = false;
    bool eof_ = false;
    bool last_in_cr_ = false;
    bool last_out_cr_ = false;
    bool paced_ = false;
    LinePacer pacer_;
    uint64_t now_ns_ = 0;
};

}  // namespace

std::unique_ptr<Endpoint> open_stdio_endpoint(bool raw_input, std::string*) {
    return std::make_unique<StdioEndpoint>(raw_input);
}

}  // namespace sim
