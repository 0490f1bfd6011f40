#include "sim/module.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

struct PanelInfo {
    Panel panel;
    const char* name;
    int width;
    int height;
};
constexpr PanelInfo kPanels[] = {{Panel::kWvga, "wvga", 800, 480},
                                 {Panel::kSvga, "svga", 800, 600},
                                 {Panel::kVga, "vga", 640, 480}};

const PanelInfo& info(Panel p) {
    for (const auto& i : kPanels) {
        if (i.panel == p) return i;
    }
    return kPanels[0];
}

std::string self_dir() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    std::string s(path);
    const size_t slash = s.rfind('/');
    return slash == std::string::npos ? "." : s.substr(0, slash);
}

bool write_all(int fd, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

// Reads exactly n bytes, waiting at most timeout_ms for each piece. 1 done, 0 end of stream,
// -1 timed out.
int read_all(int fd, void* data, size_t n, int timeout_ms) {
    auto* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, timeout_ms);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) return -1;
        const ssize_t got = ::read(fd, p, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return 0;
        p += got;
        n -= size_t(got);
    }
    return 1;
}

constexpr uint32_t kUartResetRate = 115200;

std::string format_time(uint64_t t_ns) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f s", double(t_ns) / 1e9);
    return buf;
}

}  // namespace

const char* panel_name(Panel p) {
    return info(p).name;
}
int panel_width(Panel p) {
    return info(p).width;
}
int panel_height(Panel p) {
    return info(p).height;
}

bool parse_panel(std::string_view name, Panel* out) {
    for (const auto& i : kPanels) {
        if (name == i.name) {
            *out = i.panel;
            return true;
        }
    }
    return false;
}

Module::Module(Options options) : options_(std::move(options)) {
    shared_fd_ = memfd_create("voxa-board", MFD_CLOEXEC);
    if (shared_fd_ < 0 || ftruncate(shared_fd_, sizeof(simlink::Shared)) != 0) {
        std::perror("voxa-sim: shared memory");
        std::abort();
    }
    void* mem =
        mmap(nullptr, sizeof(simlink::Shared), PROT_READ | PROT_WRITE, MAP_SHARED, shared_fd_, 0);
    if (mem == MAP_FAILED) {
        std::perror("voxa-sim: mmap");
        std::abort();
    }
    shared_ = static_cast<simlink::Shared*>(mem);
    shared_->magic = simlink::kSharedMagic;
    open_eeprom();
    if (options_.no_sd) {
        remove_sd();
    } else if (!options_.sd_image.empty()) {
        insert_sd_image(options_.sd_image);
    } else if (!options_.sd_dir.empty()) {
        insert_sd_folder(options_.sd_dir);
    } else {
        remove_sd();
    }
}

Module::~Module() {
    end_child();
    munmap(shared_, sizeof(simlink::Shared));
    close(shared_fd_);
    munmap(eeprom_, kEepromBytes);
    close(eeprom_fd_);
}

void Module::open_eeprom() {
    off_t had = 0;
    if (options_.state_dir.empty()) {
        eeprom_fd_ = memfd_create("voxa-eeprom", MFD_CLOEXEC);
    } else {
        mkdir(options_.state_dir.c_str(), 0755);
        const std::string path = options_.state_dir + "/eeprom.bin";
        eeprom_fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        struct stat st;
        if (eeprom_fd_ >= 0 && fstat(eeprom_fd_, &st) == 0) had = st.st_size;
    }
    if (eeprom_fd_ < 0 || (had < off_t(kEepromBytes) && ftruncate(eeprom_fd_, kEepromBytes) != 0)) {
        std::fprintf(stderr, "voxa-sim: cannot keep the EEPROM in %s: %s\n",
                     options_.state_dir.empty() ? "memory" : options_.state_dir.c_str(),
                     std::strerror(errno));
        std::abort();
    }
    void* mem = mmap(nullptr, kEepromBytes, PROT_READ | PROT_WRITE, MAP_SHARED, eeprom_fd_, 0);
    if (mem == MAP_FAILED) {
        std::perror("voxa-sim: mmap EEPROM");
        std::abort();
    }
    eeprom_ = static_cast<uint8_t*>(mem);
    // Bytes the file did not have yet are erased, as a new device is.
    if (had < off_t(kEepromBytes)) std::memset(eeprom_ + had, 0xFF, kEepromBytes - size_t(had));
}

void Module::set_sd_slot(simlink::SdKind kind, const std::string& path) {
    std::string full = path;
    if (!path.empty()) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved)) full = resolved;
    }
    auto& slot = shared_->sd;
    slot.kind = kind;
    std::memset(slot.path, 0, sizeof slot.path);
    std::strncpy(slot.path, full.c_str(), sizeof slot.path - 1);
    ++slot.generation;
}

void Module::insert_sd_image(const std::string& path) {
    set_sd_slot(simlink::SdKind::kImage, path);
}
void Module::insert_sd_folder(const std::string& path) {
    set_sd_slot(simlink::SdKind::kFolder, path);
}
void Module::remove_sd() {
    set_sd_slot(simlink::SdKind::kNone, "");
}

void Module::cut_power_at_eeprom_write(uint64_t n, bool byte_stored) {
    auto& f = shared_->faults;
    f.eeprom_writes = 0;
    f.eeprom_cut_stores = byte_stored ? 1 : 0;
    f.eeprom_cut_at = n;
}

void Module::fail_sd_reads_from(uint64_t n) {
    shared_->faults.sd_reads = 0;
    shared_->faults.sd_read_fail_from = n;
}

void Module::fail_sd_writes_from(uint64_t n) {
    shared_->faults.sd_writes = 0;
    shared_->faults.sd_write_fail_from = n;
}

std::string Module::executable() const {
    const std::string dir = options_.firmware_dir.empty() ? self_dir() : options_.firmware_dir;
    return dir + "/voxa-fw-" + panel_name(options_.panel);
}

void Module::power_on() {
    if (status_ == Status::kRunning) return;
    // A cold start: the SDRAM holds nothing meaningful and every output line is undriven.
    std::memset(&shared_->board, 0, sizeof shared_->board);
    std::memset(shared_->framebuffer, 0, sizeof shared_->framebuffer);
    stop_reason_.clear();
    power_cut_ = false;
    ++power_ons_;
    start_child(now_ns_);
}

void Module::power_off() {
    end_child();
    std::memset(&shared_->board, 0, sizeof shared_->board);
    status_ = Status::kOff;
    pending_.clear();
}

void Module::power_cycle() {
    power_off();
    power_on();
}

void Module::hardware_reset() {
    if (status_ != Status::kRunning) return;
    end_child();
    restart_after_reset(now_ns_);
}

void Module::restart_after_reset(uint64_t t_ns) {
    ++resets_;
    now_ns_ = t_ns;
    // The reset returns the processor's pins and the LCD controller to their reset state; the
    // SDRAM keeps the picture.
    std::memset(&shared_->board, 0, sizeof shared_->board);
    start_child(t_ns);
}

void Module::start_child(uint64_t start_ns) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        std::perror("voxa-sim: socketpair");
        std::abort();
    }
    const std::string exe = executable();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("voxa-sim: fork");
        std::abort();
    }
    if (pid == 0) {
        // Out of the terminal's process group: Ctrl-C is for voxa-sim, which winds the run
        // down; the firmware must not die of it first and be reported as crashed.
        setpgid(0, 0);
        // Move both out of the way first: either may already sit on a target number. dup2
        // clears close-on-exec on the copies.
        const int link = fcntl(sv[1], F_DUPFD_CLOEXEC, 10);
        const int shared = fcntl(shared_fd_, F_DUPFD_CLOEXEC, 10);
        const int eeprom = fcntl(eeprom_fd_, F_DUPFD_CLOEXEC, 10);
        if (link < 0 || shared < 0 || eeprom < 0 || dup2(link, simlink::kLinkFd) < 0 ||
            dup2(shared, simlink::kSharedFd) < 0 || dup2(eeprom, simlink::kEepromFd) < 0) {
            _exit(126);
        }
        setenv(simlink::kChildEnv, "1", 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        std::fprintf(stderr, "voxa-sim: cannot run %s: %s\n", exe.c_str(), std::strerror(errno));
        _exit(127);
    }
    close(sv[1]);
    link_fd_ = sv[0];
    child_ = pid;
    status_ = Status::kRunning;
    reset_pending_ = false;
    // The UARTs leave reset at this rate and report only changes from it.
    uart_rate_[0] = uart_rate_[1] = kUartResetRate;

    const simlink::StartPayload start{start_ns, 0};
    send_message(simlink::Msg::kStart, &start, sizeof start);
    // The child says hello, then runs the firmware up to its first wait at start_ns.
    if (await_yield() && status_ == Status::kRunning) now_ns_ = start_ns;
}

void Module::end_child() {
    if (child_ > 0) {
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
        child_ = -1;
    }
    if (link_fd_ >= 0) {
        close(link_fd_);
        link_fd_ = -1;
    }
}

void Module::send_message(simlink::Msg type, const void* payload, uint32_t length) {
    const simlink::Header h{uint32_t(type), length};
    if (!write_all(link_fd_, &h, sizeof h) || (length && !write_all(link_fd_, payload, length))) {
        // The child is gone; the next read tells how.
    }
}

void Module::send(int port, std::string_view bytes) {
    if (status_ != Status::kRunning || bytes.empty()) return;
    pending_.push_back({port & 1, std::string(bytes)});
}

void Module::child_gone(const char* context) {
    int status = 0;
    std::string why;
    if (child_ > 0 && waitpid(child_, &status, 0) == child_) {
        if (WIFSIGNALED(status)) {
            why = std::string("firmware crashed (") + strsignal(WTERMSIG(status)) + ")";
        } else if (WIFEXITED(status)) {
            why = "firmware exited with code " + std::to_string(WEXITSTATUS(status));
        }
    }
    child_ = -1;
    if (why.empty()) why = "firmware stopped";
    stop_reason_ = why + (*context ? " " : "") + context + " at " + format_time(now_ns_);
    end_child();
    status_ = Status::kStopped;
    std::fprintf(stderr, "voxa-sim: %s\n", stop_reason_.c_str());
}

bool Module::await_yield() {
    const int timeout_ms = options_.hang_timeout_s * 1000;
    std::vector<uint8_t> payload;
    for (;;) {
        simlink::Header h;
        const int r = read_all(link_fd_, &h, sizeof h, timeout_ms);
        if (r < 0) {
            end_child();
            status_ = Status::kStopped;
            stop_reason_ = "firmware hung: no idle point reached for " +
                           std::to_string(options_.hang_timeout_s) + " s of wall time, at " +
                           format_time(now_ns_);
            std::fprintf(stderr, "voxa-sim: %s\n", stop_reason_.c_str());
            return false;
        }
        if (r == 0 || h.length > simlink::kMaxPayload) {
            child_gone("");
            return false;
        }
        payload.resize(h.length);
        if (h.length && read_all(link_fd_, payload.data(), h.length, timeout_ms) != 1) {
            child_gone("");
            return false;
        }
        switch (simlink::Msg(h.type)) {
            case simlink::Msg::kHello:
                break;
            case simlink::Msg::kYield: {
                uint64_t t;
                std::memcpy(&t, payload.data(), sizeof t);
                now_ns_ = t;
                return true;
            }
            case simlink::Msg::kUartOutput: {
                const int port = payload.empty() ? 0 : payload[0] & 1;
                const size_t count = (payload.size() - 1) / sizeof(simlink::OutputRecord);
                for (size_t i = 0; i < count; ++i) {
                    simlink::OutputRecord rec;
                    std::memcpy(&rec, payload.data() + 1 + i * sizeof rec, sizeof rec);
                    const TimedByte tb{rec.t_ns, rec.byte};
                    if (on_output) on_output(port, tb);
                    output_[port].push_back(tb);
                }
                break;
            }
            case simlink::Msg::kEvent: {
                simlink::EventRecord rec;
                std::memcpy(&rec, payload.data(), sizeof rec);
                const BoardEvent e{rec.t_ns, simlink::Event(rec.kind), rec.value};
                if (e.kind == simlink::Event::kUartRate)
                    uart_rate_[(e.value >> 24) & 1] = e.value & 0xFFFFFF;
                events_.push_back(e);
                if (on_event) on_event(e);
                break;
            }
            case simlink::Msg::kReset: {
                uint64_t t;
                std::memcpy(&t, payload.data(), sizeof t);
                reset_at_ = t;
                reset_pending_ = true;
                waitpid(child_, nullptr, 0);
                child_ = -1;
                close(link_fd_);
                link_fd_ = -1;
                return false;
            }
            case simlink::Msg::kPowerLost: {
                // Like pulling the plug: the module is off until someone powers it on.
                uint64_t t;
                std::memcpy(&t, payload.data(), sizeof t);
                waitpid(child_, nullptr, 0);
                child_ = -1;
                close(link_fd_);
                link_fd_ = -1;
                now_ns_ = t;
                status_ = Status::kOff;
                power_cut_ = true;
                shared_->faults.eeprom_cut_at = 0;
                std::memset(&shared_->board, 0, sizeof shared_->board);
                pending_.clear();
                return false;
            }
            case simlink::Msg::kFatal: {
                const std::string why(payload.begin(), payload.end());
                end_child();
                status_ = Status::kStopped;
                stop_reason_ = "simulated hardware stopped: " + why + " at " + format_time(now_ns_);
                std::fprintf(stderr, "voxa-sim: %s\n", stop_reason_.c_str());
                return false;
            }
            default:
                break;
        }
    }
}

void Module::run_until(uint64_t t_ns) {
    while (status_ == Status::kRunning && now_ns_ < t_ns) {
        for (const auto& in : pending_) {
            std::string msg(9 + in.bytes.size(), '\0');
            std::memcpy(msg.data(), &now_ns_, 8);
            msg[8] = char(in.port);
            std::memcpy(msg.data() + 9, in.bytes.data(), in.bytes.size());
            send_message(simlink::Msg::kUartInput, msg.data(), uint32_t(msg.size()));
            if (on_input) on_input(in.port, now_ns_, in.bytes);
        }
        pending_.clear();
        send_message(simlink::Msg::kGrant, &t_ns, sizeof t_ns);
        if (await_yield()) continue;
        if (reset_pending_) restart_after_reset(reset_at_);
    }
    if (now_ns_ < t_ns) now_ns_ = t_ns;
}

std::vector<TimedByte> Module::take_output(int port) {
    std::vector<TimedByte> out;
    out.swap(output_[port & 1]);
    return out;
}

std::string Module::take_text(int port) {
    std::string s;
    for (const auto& b : take_output(port)) s.push_back(char(b.byte));
    return s;
}

}  // namespace sim
