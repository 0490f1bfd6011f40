#include "sim/endpoint.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace sim {

const char* endpoint_name(int port) {
    return port == kControlPort ? "control" : port == 1 ? "com1" : "com0";
}

std::unique_ptr<Endpoint> open_endpoint(const EndpointSpec& spec, int port, std::string* error) {
    switch (spec.kind) {
        case EndpointSpec::Kind::kNone:
            return nullptr;
        case EndpointSpec::Kind::kStdio:
            return open_stdio_endpoint(spec.raw_input, error);
        case EndpointSpec::Kind::kPty:
            return open_pty_endpoint(port, spec.link, error);
        case EndpointSpec::Kind::kTcp:
            return open_tcp_endpoint(port, spec.address, spec.port, error);
        case EndpointSpec::Kind::kWeb:
            // The web view makes its console itself (WebView::console_endpoint).
            *error = "the web view's console is made by the web view";
            return nullptr;
    }
    return nullptr;
}

void OutputQueue::append(std::string_view bytes) {
    if (data_.size() + bytes.size() > kLimit) return;
    data_.append(bytes);
}

bool OutputQueue::flush(int fd, bool socket) {
    while (!data_.empty()) {
        const ssize_t n = socket
                              ? ::send(fd, data_.data(), data_.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                              : ::write(fd, data_.data(), data_.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (n <= 0) return false;
        data_.erase(0, size_t(n));
    }
    return true;
}

}  // namespace sim
