#include "child_link.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "machine.h"

namespace sim {

namespace {

constexpr size_t kFlushThreshold = 4096;

void write_all(int fd, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) _exit(0);  // the world is gone; so is the board
        p += w;
        n -= size_t(w);
    }
}

bool read_all(int fd, void* data, size_t n) {
    auto* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

uint64_t read_u64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

void ChildLink::send(simlink::Msg type, const void* payload, uint32_t length) {
    const simlink::Header h{uint32_t(type), length};
    write_all(fd_, &h, sizeof h);
    if (length) write_all(fd_, payload, length);
}

simlink::Msg ChildLink::receive(std::vector<uint8_t>& payload) {
    simlink::Header h;
    if (!read_all(fd_, &h, sizeof h) || h.length > simlink::kMaxPayload) _exit(0);
    payload.resize(h.length);
    if (h.length && !read_all(fd_, payload.data(), h.length)) _exit(0);
    return simlink::Msg(h.type);
}

uint64_t ChildLink::receive_start() {
    std::vector<uint8_t> p;
    if (receive(p) != simlink::Msg::kStart || p.size() < sizeof(simlink::StartPayload)) _exit(2);
    simlink::StartPayload start;
    std::memcpy(&start, p.data(), sizeof start);
    grant_ = start.start_ns;
    return start.start_ns;
}

void ChildLink::send_hello(const simlink::HelloPayload& hello) {
    send(simlink::Msg::kHello, &hello, sizeof hello);
}

void ChildLink::flush() {
    for (int port = 0; port < 2; ++port) {
        auto& out = output_[port];
        if (out.empty()) continue;
        std::vector<uint8_t> buf(1 + out.size() * sizeof(simlink::OutputRecord));
        buf[0] = uint8_t(port);
        std::memcpy(buf.data() + 1, out.data(), out.size() * sizeof(simlink::OutputRecord));
        send(simlink::Msg::kUartOutput, buf.data(), uint32_t(buf.size()));
        out.clear();
    }
    for (const auto& e : events_) send(simlink::Msg::kEvent, &e, sizeof e);
    events_.clear();
}

void ChildLink::sync(Machine& machine) {
    flush();
    const uint64_t now = machine.now();
    send(simlink::Msg::kYield, &now, sizeof now);
    std::vector<uint8_t> p;
    for (;;) {
        switch (receive(p)) {
            case simlink::Msg::kUartInput:
                if (p.size() >= 9) {
                    machine.wire_in(p[8], read_u64(p.data()), p.data() + 9, uint32_t(p.size() - 9));
                }
                break;
            case simlink::Msg::kGrant:
                if (p.size() >= 8) {
                    const uint64_t until = read_u64(p.data());
                    if (until > grant_) grant_ = until;
                    return;
                }
                break;
            default:
                break;
        }
    }
}

void ChildLink::uart_output(int port, uint64_t t_ns, uint8_t byte) {
    auto& out = output_[port == 1 ? 1 : 0];
    out.push_back({t_ns, byte});
    if (out.size() >= kFlushThreshold) flush();
}

void ChildLink::event(uint64_t t_ns, simlink::Event kind, uint32_t value) {
    events_.push_back({t_ns, uint8_t(kind), value});
    if (events_.size() >= kFlushThreshold) flush();
}

void ChildLink::power_lost(uint64_t t_ns) {
    flush();
    send(simlink::Msg::kPowerLost, &t_ns, sizeof t_ns);
    _exit(0);
}

void ChildLink::reset(uint64_t t_ns) {
    flush();
    send(simlink::Msg::kReset, &t_ns, sizeof t_ns);
    _exit(0);
}

void ChildLink::fatal(const char* why) {
    flush();
    send(simlink::Msg::kFatal, why, uint32_t(std::strlen(why)));
    _exit(3);
}

}  // namespace sim
