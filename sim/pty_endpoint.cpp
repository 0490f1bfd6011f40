// A pseudo-terminal: host programs open its slave like a real serial port. The slave is raw
// (no echo, no CR/LF translation, no signals), as a USB serial adapter would be.
//
// A host that has software flow control on (IXON, e.g. pyserial's xonxoff=True) stops sending
// within a character of the module's XOFF, as a serial adapter does. The kernel stops the
// slave's writes there too, but what the host wrote before still sits in the pty's buffer, far
// more than a UART's FIFO: that part is held back here until the module sends XON.
//
// The first open of the slave is the moment a user plugs in the cable, so it is watched for
// without ever opening the slave here: a never-opened master reports nothing on poll, so
// inotify tells of the open; once a host has had the slave open, POLLHUP on the master means
// every host has closed it again.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/endpoint.h"

namespace sim {

namespace {

void make_raw(int master) {
    termios t;
    if (tcgetattr(master, &t) != 0) return;
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(master, TCSANOW, &t);
}

class PtyEndpoint final : public Endpoint {
  public:
    PtyEndpoint(int master, int watch, std::string slave, std::string link)
        : master_(master), watch_(watch), slave_(std::move(slave)), link_(std::move(link)) {}

    ~PtyEndpoint() override {
        if (!link_.empty()) {
            // Remove the link only if it is still ours: another run may have taken the name.
            char target[4096];
            const ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, size_t(n)) == slave_) unlink(link_.c_str());
        }
        close(watch_);
        close(master_);
    }

    void add_poll_fds(std::vector<pollfd>* fds, bool want_input) override {
        fds->push_back({watch_, POLLIN, 0});
        // A master without a host reports POLLHUP on every poll; leaving it out keeps the wait
        // from spinning until inotify announces the next open. (POLLHUP is reported whatever
        // is asked for, so a host that leaves is seen even while the line is full.)
        if (connected_) {
            const short in = want_input && !held_ ? POLLIN : 0;
            fds->push_back({master_, short(in | (queue_.empty() ? 0 : POLLOUT)), 0});
        }
    }

    std::string service(const Intake& intake) override {
        std::string in;
        drain_watch();
        if (!connected_) return in;
        // What the host wrote before it closed the port is taken as far as the line has room,
        // so a short write followed by a close still arrives.
        char buf[4096];
        while (!held_ && in.size() < intake.max_bytes) {
            const size_t want = std::min(sizeof buf, intake.max_bytes - in.size());
            const ssize_t n = ::read(master_, buf, want);
            if (n > 0) {
                in.append(buf, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            break;  // EAGAIN: nothing more; EIO: no host has the slave open
        }
        pollfd p{master_, 0, 0};
        ::poll(&p, 1, 0);
        if (p.revents & POLLHUP) {
            hang_up();
            return in;
        }
        if (!queue_.flush(master_, false)) hang_up();
        return in;
    }

    void write(std::string_view bytes, uint64_t) override {
        if (!connected_) return;
        for (const char c : bytes) {
            if (c == kXoff) held_ = host_obeys_xoff();
            if (c == kXon) held_ = false;
        }
        queue_.append(bytes);
        if (!queue_.flush(master_, false)) hang_up();
    }

    bool opened() const override { return opened_; }

  private:
    void drain_watch() {
        alignas(inotify_event) char buf[4096];
        for (;;) {
            const ssize_t n = ::read(watch_, buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t off = 0; off < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
                if (e->mask & IN_OPEN) opened_ = connected_ = true;
                off += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
    }

    static constexpr char kXon = 0x11;
    static constexpr char kXoff = 0x13;

    bool host_obeys_xoff() const {
        // The master reads the slave's settings, which the host's program made.
        termios t;
        return tcgetattr(master_, &t) == 0 && (t.c_iflag & IXON);
    }

    void hang_up() {
        connected_ = false;
        held_ = false;
        queue_.clear();
        // The cable is pulled: what the host wrote and the line has not carried is lost, and
        // so is what it had not read yet.
        tcflush(master_, TCIOFLUSH);
        // A host may have changed the line settings; the next one finds the port raw again.
        make_raw(master_);
    }

    int master_;
    int watch_;
    std::string slave_;
    std::string link_;
    bool opened_ = false;
    bool connected_ = false;
    bool held_ = false;  // the module sent XOFF to a host that obeys it
    OutputQueue queue_;
};

}  // namespace

std::unique_ptr<Endpoint> open_pty_endpoint(int port, const std::string& link, std::string* error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) close(master);
        return nullptr;
    }
    const char* name = ptsname(master);
    const std::string slave = name ? name : "";
    make_raw(master);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (slave.empty() || watch < 0 || inotify_add_watch(watch, slave.c_str(), IN_OPEN) < 0) {
        *error = std::string("cannot watch the pseudo-terminal: ") + std::strerror(errno);
        if (watch >= 0) close(watch);
        close(master);
        return nullptr;
    }
    if (!link.empty()) {
        struct stat st;
        if (lstat(link.c_str(), &st) == 0) {
            // A link left by a run that was killed is replaced; anything else is not ours.
            if (!S_ISLNK(st.st_mode)) {
                *error = link + " exists and is not a symlink";
                close(watch);
                close(master);
                return nullptr;
            }
            unlink(link.c_str());
        }
        if (symlink(slave.c_str(), link.c_str()) != 0) {
            *error = "cannot create the link " + link + ": " + std::strerror(errno);
            close(watch);
            close(master);
            return nullptr;
        }
    }
    std::fprintf(stderr, "voxa-sim: %s on %s%s%s\n", endpoint_name(port), slave.c_str(),
                 link.empty() ? "" : " linked from ", link.c_str());
    return std::make_unique<PtyEndpoint>(master, watch, slave, link);
}

}  // namespace sim
