// A raw TCP port: the bytes of the serial line, nothing added. One client at a time, like one
// cable; a second client is refused (accepted and closed at once) while the first is there.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/endpoint.h"

namespace sim {

namespace {

constexpr int kReceiveBufferBytes = 4096;

class TcpEndpoint final : public Endpoint {
  public:
    TcpEndpoint(int port, int listener) : port_(port), listener_(listener) {}
    ~TcpEndpoint() override {
        drop_client();
        close(listener_);
    }

    void add_poll_fds(std::vector<pollfd>* fds, bool want_input) override {
        fds->push_back({listener_, POLLIN, 0});
        if (client_ >= 0) {
            const short in = want_input ? POLLIN : 0;
            fds->push_back({client_, short(POLLRDHUP | in | (queue_.empty() ? 0 : POLLOUT)), 0});
        }
    }

    std::string service(const Intake& intake) override {
        // The old client's end is noticed before new ones are looked at: a host that closes
        // and reconnects at once must find the port free.
        std::string in = read_client(intake.max_bytes);
        accept_clients();
        in += read_client(intake.max_bytes - in.size());
        if (client_ >= 0 && !queue_.flush(client_, true)) drop_client();
        return in;
    }

    void write(std::string_view bytes, uint64_t) override {
        if (client_ < 0) return;
        queue_.append(bytes);
        if (!queue_.flush(client_, true)) drop_client();
    }

    bool opened() const override { return opened_; }

  private:
    // A client that closes, or only shuts down its sending side, has gone: what it wrote is
    // taken as far as the line has room, and closing the socket drops the rest.
    std::string read_client(size_t max_bytes) {
        std::string in;
        char buf[4096];
        while (client_ >= 0 && in.size() < max_bytes) {
            const size_t want = std::min(sizeof buf, max_bytes - in.size());
            const ssize_t n = ::recv(client_, buf, want, MSG_DONTWAIT);
            if (n > 0) {
                in.append(buf, size_t(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            } else {
                drop_client();  // the client closed or the connection broke
            }
        }
        if (client_ >= 0) {
            pollfd p{client_, POLLRDHUP, 0};
            ::poll(&p, 1, 0);
            if (p.revents & (POLLERR | POLLHUP | POLLRDHUP)) drop_client();
        }
        return in;
    }

    void accept_clients() {
        for (;;) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            if (client_ >= 0) {
                std::fprintf(stderr, "voxa-sim: %s: refused a second TCP client\n",
                             endpoint_name(port_));
                close(fd);
                continue;
            }
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            client_ = fd;
            opened_ = true;
        }
    }

    void drop_client() {
        if (client_ >= 0) close(client_);
        client_ = -1;
        queue_.clear();
    }

    int port_;
    int listener_;
    int client_ = -1;
    bool opened_ = false;
    OutputQueue queue_;
};

}  // namespace

std::unique_ptr<Endpoint> open_tcp_endpoint(int port, const std::string& address, int tcp_port,
                                            std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(tcp_port);
    if (const int r = getaddrinfo(address.c_str(), service.c_str(), &hints, &found); r != 0) {
        *error = "tcp: cannot use address " + address + ": " + gai_strerror(r);
        return nullptr;
    }
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    // A small receive buffer keeps a fast client's bytes in its own system, where its writes
    // block, instead of hundreds of kilobytes queued here for a line that carries 11.5 KB/s;
    // set before listen() so that accepted connections are made with it.
    const int receive_buffer = kReceiveBufferBytes;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 4) != 0) {
        *error = "tcp: cannot listen on " + address + ":" + service + ": " + std::strerror(errno);
        freeaddrinfo(found);
        if (fd >= 0) close(fd);
        return nullptr;
    }
    freeaddrinfo(found);

    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    char host[INET6_ADDRSTRLEN] = "?";
    int actual = tcp_port;
    if (bound.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&bound);
        inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
        actual = ntohs(a->sin_port);
    } else if (bound.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&bound);
        inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
        actual = ntohs(a->sin6_port);
    }
    std::fprintf(stderr, "voxa-sim: %s on tcp %s:%d\n", endpoint_name(port), host, actual);
    return std::make_unique<TcpEndpoint>(port, fd);
}

}  // namespace sim
