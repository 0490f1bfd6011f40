// A stand-in for the firmware executable that speaks the board's side of the lockstep link and
// misbehaves in the way its argument names, so that tests can see how voxa-sim takes each
// fault. Well-behaved ("good") it says hello, yields at every grant and reports a byte and an
// event on the first one. The misbehaviour happens at the start (hello faults) or on the first
// grant, after which it goes on well-behaved, so that a fault voxa-sim let through would leave
// the module running.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "boards/sim/protocol.h"

namespace {

using simlink::Msg;

const int fd = simlink::kLinkFd;

void write_bytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w <= 0) _exit(0);
        p += w;
        n -= size_t(w);
    }
}

void send(uint32_t type, const void* payload, uint32_t length) {
    const simlink::Header h{type, length};
    write_bytes(&h, sizeof h);
    if (length) write_bytes(payload, length);
}
void send(Msg type, const void* payload, uint32_t length) {
    send(uint32_t(type), payload, length);
}
void send_time(Msg type, uint64_t t) {
    send(type, &t, sizeof t);
}

bool read_bytes(void* data, size_t n) {
    auto* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

// The next grant's end (inputs before it are taken in and dropped).
uint64_t next_grant() {
    for (;;) {
        simlink::Header h;
        if (!read_bytes(&h, sizeof h) || h.length > simlink::kMaxPayload) _exit(0);
        std::vector<uint8_t> p(h.length);
        if (h.length && !read_bytes(p.data(), h.length)) _exit(0);
        if (Msg(h.type) == Msg::kGrant && h.length == 8) {
            uint64_t t;
            std::memcpy(&t, p.data(), sizeof t);
            return t;
        }
    }
}

void hello(const char* panel = "wvga", uint16_t width = 800, uint16_t height = 480) {
    simlink::HelloPayload h{};
    std::memcpy(h.panel, panel, std::min(std::strlen(panel), sizeof h.panel));
    h.width = width;
    h.height = height;
    send(Msg::kHello, &h, sizeof h);
}

void output(uint8_t port, const std::vector<simlink::OutputRecord>& records, size_t cut_bytes = 0) {
    std::vector<uint8_t> p(1 + records.size() * sizeof(simlink::OutputRecord));
    p[0] = port;
    if (!records.empty()) std::memcpy(p.data() + 1, records.data(), p.size() - 1);
    send(Msg::kUartOutput, p.data(), uint32_t(p.size() - cut_bytes));
}

void event(uint64_t t, simlink::Event kind, uint32_t value) {
    const simlink::EventRecord e{t, uint8_t(kind), value};
    send(Msg::kEvent, &e, sizeof e);
}

[[noreturn]] void linger() {
    for (;;) pause();
}

[[noreturn]] void serve_grants() {
    for (;;) send_time(Msg::kYield, next_grant());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "good";
    simlink::Header h;
    simlink::StartPayload start;
    if (!read_bytes(&h, sizeof h) || h.type != uint32_t(Msg::kStart) || h.length != sizeof start ||
        !read_bytes(&start, sizeof start)) {
        return 2;
    }
    const uint64_t t0 = start.start_ns;

    // Faults of the start-up.
    if (mode == "hello-short") {
        send(Msg::kHello, "wvga", 4);
    } else if (mode == "hello-panel") {
        hello("svga", 800, 480);
    } else if (mode == "hello-unterminated") {
        hello("wvgawvga");
    } else if (mode == "hello-size") {
        hello("wvga", 801, 480);
    } else if (mode == "hello-twice") {
        hello();
        hello();
    } else if (mode == "no-hello") {
        // straight to the yield
    } else if (mode == "reset-at-once") {
        // A reset the moment it starts, and no end after it.
        hello();
        send_time(Msg::kReset, t0);
        linger();
    } else {
        hello();
    }
    send_time(Msg::kYield, t0);

    const uint64_t grant = next_grant();
    const uint64_t mid = t0 + (grant - t0) / 2;
    if (mode == "good") {
        output(0, {{mid, 'A'}});
        output(1, {{mid, 'B'}, {grant, 'C'}});
        event(mid, simlink::Event::kGpio, 3 << 8 | 1);
        event(grant, simlink::Event::kUartRate, 1u << 24 | 9600);
    } else if (mode == "unknown-type") {
        send(999, nullptr, 0);
    } else if (mode == "parent-type") {
        send_time(Msg::kGrant, grant);
    } else if (mode == "oversized") {
        // Says a huge message follows, sends none of it and stays.
        const simlink::Header big{uint32_t(Msg::kUartOutput), simlink::kMaxPayload + 1};
        write_bytes(&big, sizeof big);
        linger();
    } else if (mode == "yield-short") {
        send(Msg::kYield, &grant, 4);
    } else if (mode == "yield-early") {
        send_time(Msg::kYield, grant - 1);
    } else if (mode == "yield-late") {
        send_time(Msg::kYield, grant + 1);
    } else if (mode == "output-empty") {
        send(Msg::kUartOutput, nullptr, 0);
    } else if (mode == "output-partial") {
        output(0, {{mid, 'A'}, {mid, 'B'}}, 4);
    } else if (mode == "output-port") {
        output(2, {{mid, 'A'}});
    } else if (mode == "output-late") {
        output(0, {{grant + 1, 'A'}});
    } else if (mode == "output-early") {
        output(0, {{t0 - 1, 'A'}});
    } else if (mode == "output-backwards") {
        output(1, {{mid, 'A'}});
        output(1, {{mid - 1, 'B'}});
    } else if (mode == "event-short") {
        const simlink::EventRecord e{mid, uint8_t(simlink::Event::kGpio), 1};
        send(Msg::kEvent, &e, sizeof e - 1);
    } else if (mode == "event-kind") {
        event(mid, simlink::Event(200), 0);
    } else if (mode == "event-gpio") {
        event(mid, simlink::Event::kGpio, uint32_t(simlink::kGpioLines) << 8 | 1);
    } else if (mode == "event-duty") {
        event(mid, simlink::Event::kAudioDuty, 103);
    } else if (mode == "event-rate-port") {
        event(mid, simlink::Event::kUartRate, 2u << 24 | 9600);
    } else if (mode == "event-backwards") {
        event(mid, simlink::Event::kLcdClock, 1);
        event(mid - 1, simlink::Event::kLcdClock, 0);
    } else if (mode == "reset-short") {
        send(Msg::kReset, &grant, 7);
    } else if (mode == "reset-late") {
        send_time(Msg::kReset, grant + 1);
    } else if (mode == "power-lost-early") {
        send_time(Msg::kPowerLost, t0 - 1);
    } else if (mode == "fatal-garbage") {
        std::string why = "bad\x01\x1b[2Jthing";
        why.append(1000, 'x');
        send(Msg::kFatal, why.data(), uint32_t(why.size()));
        linger();
    } else if (mode == "die-mid-message") {
        const simlink::Header part{uint32_t(Msg::kUartOutput), 64};
        write_bytes(&part, sizeof part);
        write_bytes("\0abcdefghi", 10);
        // Dies of the signal itself, not of a sanitizer's report about it.
        signal(SIGSEGV, SIG_DFL);
        raise(SIGSEGV);
    } else if (mode == "stall-mid-message") {
        const simlink::Header part{uint32_t(Msg::kUartOutput), 64};
        write_bytes(&part, sizeof part);
        write_bytes("\0abcdefghi", 10);
        linger();
    } else if (mode == "silent") {
        linger();
    } else if (mode == "close-and-run") {
        close(fd);
        linger();
    } else if (mode == "deaf") {
        // Yields, then takes in nothing more while the world keeps sending.
        send_time(Msg::kYield, grant);
        linger();
    }
    send_time(Msg::kYield, grant);
    serve_grants();
}
