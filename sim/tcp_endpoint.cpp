// A raw TCP port: the bytes of the serial line, nothing added. One client at a time, like one
// cable; a second client is refused (accepted and closed at once) while the first is there.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/endpoint.h"

namespace sim {

namespace {

class TcpEndpoint final : public Endpoint {
  public:
    TcpEndpoint(int port, int listener) : port_(port), listener_(listener) {}
    ~TcpEndpoint() override {
        drop_client();
        close(listener_);
    }

    void add_poll_fds(std::vector<pollfd>* fds) override {
        fds->push_back({listener_, POLLIN, 0});
        if (client_ >= 0) {
            fds->push_back({client_, short(POLLIN | (queue_.empty() ? 0 : POLLOUT)), 0});
        }
    }

    std::string service() override {
        // The old client's end is noticed before new ones are looked at: a host that closes
        // and reconnects at once must find the port free.
        std::string in = read_client();
        accept_clients();
        in += read_client();
        if (client_ >= 0 && !queue_.flush(client_, true)) drop_client();
        return in;
    }

    void write(std::string_view bytes) override {
        if (client_ < 0) return;
        queue_.append(bytes);
        if (!queue_.flush(client_, true)) drop_client();
    }

    bool opened() const override { return opened_; }

  private:
    std::string read_client() {
        std::string in;
        char buf[4096];
        while (client_ >= 0) {
            const ssize_t n = ::recv(client_, buf, sizeof buf, MSG_DONTWAIT);
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
        return in;
    }

    void accept_clients() {
        for (;;) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            if (client_ >= 0) {
                std::fprintf(stderr, "voxa-sim: com%d: refused a second TCP client\n", port_);
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
    std::fprintf(stderr, "voxa-sim: com%d on tcp %s:%d\n", port, host, actual);
    return std::make_unique<TcpEndpoint>(port, fd);
}

}  // namespace sim
