#include "sim/module.h"
#include "src/device/board.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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

using Clock = std::chrono::steady_clock;

Clock::time_point deadline_in(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

int ms_left(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : int(left);
}

enum class Io { kDone, kClosed, kTimedOut };

// Writes all n bytes unless the peer is gone or takes nothing in until the deadline.
Io write_all(int fd, const void* data, size_t n, Clock::time_point deadline) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        pollfd pfd{fd, POLLOUT, 0};
        const int r = ::poll(&pfd, 1, ms_left(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return Io::kClosed;
        if (r == 0) return Io::kTimedOut;
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (w <= 0) return Io::kClosed;
        p += w;
        n -= size_t(w);
    }
    return Io::kDone;
}

// Reads exactly n bytes unless the stream ends or they have not all come by the deadline.
Io read_all(int fd, void* data, size_t n, Clock::time_point deadline) {
    auto* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, ms_left(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return Io::kClosed;
        if (r == 0) return Io::kTimedOut;
        const ssize_t got = ::read(fd, p, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Io::kClosed;
        p += got;
        n -= size_t(got);
    }
    return Io::kDone;
}

// Waits at most timeout_ms for a child process to end; true (and its status) when it did.
bool wait_exit(pid_t pid, int timeout_ms, int* status) {
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        const auto deadline = deadline_in(timeout_ms);
        pollfd pfd{pidfd, POLLIN, 0};
        int r;
        do {
            r = ::poll(&pfd, 1, ms_left(deadline));
        } while (r < 0 && errno == EINTR);
        close(pidfd);
        return r > 0 && waitpid(pid, status, 0) == pid;
    }
    // Kernels without process descriptors: look every millisecond.
    const auto deadline = deadline_in(timeout_ms);
    for (;;) {
        const pid_t r = waitpid(pid, status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return false;
        if (Clock::now() >= deadline) return false;
        ::poll(nullptr, 0, 1);
    }
}

uint64_t read_u64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::string wall_seconds(int ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g s", double(ms) / 1000.0);
    return buf;
}

// The firmware's words for a log line: printable ASCII only, and not too many of them.
std::string printable(std::string_view text) {
    constexpr size_t kMax = 200;
    std::string out;
    for (size_t i = 0; i < text.size() && i < kMax; ++i) {
        const auto c = uint8_t(text[i]);
        out.push_back(c >= 0x20 && c < 0x7F ? char(c) : '?');
    }
    if (text.size() > kMax) out += "...";
    return out;
}

// A power-on that resets at the very moment it began, this many times in a row, is taken for
// a firmware that can never start: without virtual time passing the module would go round
// forever.
constexpr int kInstantResetLimit = 10;

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
    shared_->touch.config = simlink::default_touch_panel(uint16_t(width()), uint16_t(height()));
    shared_->touch.config_generation = 1;
    shared_->dataflash_id = options_.dataflash_id;
    open_eeprom();
    open_flash2();
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
    close(flash2_fd_);
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

namespace {

constexpr const char* kFlash2File = "/flash2.bin";

bool pwrite_all(int fd, const uint8_t* data, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t w = pwrite(fd, data, n, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        n -= size_t(w);
        at += w;
    }
    return true;
}

// Erased bytes from at up to the end of its sector.
bool pad_to_sector(int fd, off_t at) {
    const std::vector<uint8_t> erased(simlink::kFlash2SectorBytes, 0xFF);
    const size_t pad = (simlink::kFlash2SectorBytes - size_t(at) % simlink::kFlash2SectorBytes) %
                       simlink::kFlash2SectorBytes;
    return pwrite_all(fd, erased.data(), pad, at);
}

}  // namespace

void Module::open_flash2() {
    if (options_.state_dir.empty()) {
        flash2_fd_ = memfd_create("voxa-flash2", MFD_CLOEXEC);
    } else {
        const std::string path = options_.state_dir + kFlash2File;
        flash2_fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    }
    struct stat st;
    bool ok = flash2_fd_ >= 0 && fstat(flash2_fd_, &st) == 0;
    // The board maps whole sectors of the file: a file cut short (or put there by hand) is
    // completed with erased bytes, and one longer than the window is cut to it.
    if (ok && st.st_size > off_t(kFlash2Bytes)) {
        std::fprintf(stderr, "voxa-sim: %s%s is longer than the Flash2 window; cut to %u bytes\n",
                     options_.state_dir.c_str(), kFlash2File, kFlash2Bytes);
        ok = ftruncate(flash2_fd_, kFlash2Bytes) == 0;
    } else if (ok) {
        ok = pad_to_sector(flash2_fd_, st.st_size);
    }
    if (!ok) {
        std::fprintf(stderr, "voxa-sim: cannot keep the Flash2 window in %s: %s\n",
                     options_.state_dir.empty() ? "memory" : options_.state_dir.c_str(),
                     std::strerror(errno));
        std::abort();
    }
}

std::string Module::flash2_refusal(size_t size) {
    if (size <= kFlash2Bytes) return "";
    return std::string(std::strerror(EFBIG)) + " (" + std::to_string(size) +
           " bytes; the Flash2 window holds " + std::to_string(kFlash2Bytes) + ")";
}

bool Module::write_flash2(const std::vector<uint8_t>& bytes, std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (std::string why = flash2_refusal(bytes.size()); !why.empty()) return fail(why);
    // A new file takes the old one's place, so that a firmware running meanwhile keeps the
    // window it mapped (shrinking the file under it would fault its reads).
    int fd;
    std::string path, fresh;
    if (options_.state_dir.empty()) {
        fd = memfd_create("voxa-flash2", MFD_CLOEXEC);
    } else {
        path = options_.state_dir + kFlash2File;
        fresh = path + ".new";
        fd = open(fresh.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    if (fd < 0) return fail(std::strerror(errno));
    if (!pwrite_all(fd, bytes.data(), bytes.size(), 0) || !pad_to_sector(fd, off_t(bytes.size())) ||
        (!fresh.empty() && rename(fresh.c_str(), path.c_str()) != 0)) {
        const int e = errno;
        close(fd);
        if (!fresh.empty()) unlink(fresh.c_str());
        return fail(std::strerror(e));
    }
    close(flash2_fd_);
    flash2_fd_ = fd;
    return true;
}

std::vector<uint8_t> Module::read_flash2(uint32_t offset, uint32_t length) const {
    if (offset >= kFlash2Bytes) return {};
    std::vector<uint8_t> out(std::min(length, kFlash2Bytes - offset), 0xFF);
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            pread(flash2_fd_, out.data() + done, out.size() - done, off_t(offset) + off_t(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // past the file: erased
        done += size_t(got);
    }
    return out;
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
    sd_full_ = kind != simlink::SdKind::kNone;
}

void Module::insert_sd(simlink::SdKind kind, const std::string& path) {
    remove_sd();
    if (sd_free_at_ns_ <= now_ns_) {
        set_sd_slot(kind, path);
        return;
    }
    sd_waiting_ = true;
    sd_waiting_at_ns_ = sd_free_at_ns_;
    sd_waiting_kind_ = kind;
    sd_waiting_path_ = path;
}

void Module::insert_sd_image(const std::string& path) {
    insert_sd(simlink::SdKind::kImage, path);
}
void Module::insert_sd_folder(const std::string& path) {
    insert_sd(simlink::SdKind::kFolder, path);
}
void Module::remove_sd() {
    sd_waiting_ = false;
    if (!sd_full_) return;
    set_sd_slot(simlink::SdKind::kNone, "");
    sd_free_at_ns_ = now_ns_ + kSdSwapGapNs;
}

bool Module::touch(int x, int y, int pressure) {
    if (!on_panel(x, y)) return false;
    auto& t = shared_->touch;
    t.down = 1;
    t.x = int16_t(x);
    t.y = int16_t(y);
    t.pressure = uint16_t(pressure < 0 ? t.config.pressure : pressure > 0xFFFF ? 0xFFFF : pressure);
    return true;
}

bool Module::move(int x, int y) {
    if (!touched() || !on_panel(x, y)) return false;
    shared_->touch.x = int16_t(x);
    shared_->touch.y = int16_t(y);
    return true;
}

void Module::release() {
    shared_->touch.down = 0;
}

bool Module::drag(int x, int y, double ms, const std::function<void(uint64_t)>& advance_to) {
    if (!touched() || !on_panel(x, y) || !(ms >= 0)) return false;
    const int x0 = shared_->touch.x, y0 = shared_->touch.y;
    const uint64_t start = now_ns_;
    const uint64_t total = uint64_t(ms * 1e6 + 0.5);
    const uint64_t steps = std::max<uint64_t>(1, (total + 999'999) / 1'000'000);
    for (uint64_t i = 1; i <= steps; ++i) {
        // Rounded to the nearest pixel, the end exact.
        const auto along = [&](int a, int b) {
            const double v = a + double(b - a) * double(i) / double(steps);
            return int(v < 0 ? v - 0.5 : v + 0.5);
        };
        move(along(x0, x), along(y0, y));
        const uint64_t until = start + total * i / steps;
        if (advance_to) {
            advance_to(until);
        } else {
            run_until(until);
        }
        if (now_ns_ < until) return false;  // the run was cut short
    }
    return true;
}

void Module::set_touch_panel(const simlink::TouchPanelConfig& config) {
    auto& t = shared_->touch;
    t.config = config;
    t.config.width = uint16_t(width());
    t.config.height = uint16_t(height());
    ++t.config_generation;
}

void Module::record_touch_adc(bool on) {
    collect_touch_adc();
    touch_recording_ = on;
}

void Module::collect_touch_adc() {
    const auto& log = shared_->touch_log;
    const uint64_t written = log.written;
    if (!touch_recording_) {
        touch_adc_read_ = written;
        return;
    }
    if (written - touch_adc_read_ > simlink::kTouchLogRecords) {
        touch_adc_lost_ += written - touch_adc_read_ - simlink::kTouchLogRecords;
        touch_adc_read_ = written - simlink::kTouchLogRecords;
    }
    for (; touch_adc_read_ < written; ++touch_adc_read_) {
        touch_adc_.push_back(log.records[touch_adc_read_ % simlink::kTouchLogRecords]);
    }
}

std::vector<simlink::FlashOpRecord> Module::take_flash_log() {
    const auto& log = shared_->flash_log;
    const uint64_t written = log.written;
    if (written - flash_log_read_ > simlink::kFlashLogRecords) {
        flash_log_read_ = written - simlink::kFlashLogRecords;
    }
    std::vector<simlink::FlashOpRecord> out;
    for (; flash_log_read_ < written; ++flash_log_read_) {
        out.push_back(log.records[flash_log_read_ % simlink::kFlashLogRecords]);
    }
    return out;
}

std::vector<simlink::TouchAdcRecord> Module::take_touch_adc_log() {
    collect_touch_adc();
    std::vector<simlink::TouchAdcRecord> out;
    out.swap(touch_adc_);
    return out;
}

void Module::cut_power_at_eeprom_write(uint64_t n, bool byte_stored) {
    auto& f = shared_->faults;
    f.eeprom_writes = 0;
    f.eeprom_cut_stores = byte_stored ? 1 : 0;
    f.eeprom_cut_at = n;
}

void Module::cut_power_at_flash_op(uint64_t n, bool op_done) {
    auto& f = shared_->faults;
    f.flash_ops = 0;
    f.flash_cut_done = op_done ? 1 : 0;
    f.flash_cut_at = n;
}

void Module::fail_sd_reads_from(uint64_t n) {
    shared_->faults.sd_reads = 0;
    shared_->faults.sd_read_fail_from = n;
}

void Module::cut_power_at_sd_write(uint64_t n, simlink::SdCut mode) {
    auto& f = shared_->faults;
    f.sd_writes = 0;
    f.sd_cut_mode = uint8_t(mode);
    f.sd_cut_at = n;
}

void Module::fail_sd_writes_from(uint64_t n) {
    shared_->faults.sd_writes = 0;
    shared_->faults.sd_write_fail_from = n;
}

std::string Module::executable() const {
    const std::string name = std::string("/voxa-fw-") + panel_name(options_.panel);
    if (!options_.firmware_dir.empty()) return options_.firmware_dir + name;
    // Beside voxa-sim in the build tree; installed, off the PATH in libexec.
    const std::string beside = self_dir() + name;
    const std::string installed = self_dir() + "/../libexec/voxa-sim" + name;
    return access(beside.c_str(), X_OK) != 0 && access(installed.c_str(), X_OK) == 0 ? installed
                                                                                     : beside;
}

double SoundState::hz() const {
    return on ? double(kToneClockHz) / (2.0 * (double(compare) + 1.0)) : 0.0;
}

double SoundState::level() const {
    return on ? double(duty) / kAudioPwmPeriod : 0.0;
}

void Module::clear_board() {
    std::memset(&shared_->board, 0, sizeof shared_->board);
    SoundState next = sound_.back();
    next.on = false;
    next.duty = 0;
    // The speaker select line, low like every other, picks the external speaker.
    next.external = true;
    next.t_ns = now_ns_;
    sound_change(next);
}

void Module::sound_event(const BoardEvent& e) {
    SoundState next = sound_.back();
    next.t_ns = e.t_ns;
    switch (e.kind) {
        case simlink::Event::kToneOn:
            next.on = true;
            next.compare = e.value;
            break;
        case simlink::Event::kToneOff:
            next.on = false;
            break;
        case simlink::Event::kAudioDuty:
            next.duty = uint8_t(e.value);
            break;
        case simlink::Event::kGpio:
            if ((e.value >> 8) != uint32_t(Gpio::kSpeakerSelect)) return;
            next.external = (e.value & 1) == 0;
            break;
        default:
            return;
    }
    sound_change(next);
}

void Module::sound_change(SoundState next) {
    SoundState& last = sound_.back();
    if (next.on == last.on && next.compare == last.compare && next.duty == last.duty &&
        next.external == last.external) {
        return;
    }
    // Changes at one instant leave only the last of them.
    if (next.t_ns == last.t_ns && sound_.size() > 1) {
        last = next;
    } else {
        sound_.push_back(next);
    }
}

void Module::power_on() {
    if (status_ == Status::kRunning) return;
    // A cold start: the SDRAM holds nothing meaningful and every output line is undriven.
    clear_board();
    std::memset(shared_->framebuffer, 0, sizeof shared_->framebuffer);
    stop_reason_.clear();
    power_cut_ = false;
    ++power_ons_;
    start_child(now_ns_);
}

void Module::power_off() {
    end_child();
    clear_board();
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
    clear_board();
    start_child(t_ns);
}

void Module::start_child(uint64_t start_ns) {
    for (;;) {
        launch_child(start_ns);
        // The child says hello, then runs the firmware up to its first wait at start_ns.
        if (await_yield()) {
            now_ns_ = start_ns;
            return;
        }
        if (!reset_pending_) return;
        // The firmware reset the processor on its way up: it starts again at once.
        ++resets_;
        start_ns = reset_at_;
        now_ns_ = start_ns;
        clear_board();
    }
}

void Module::launch_child(uint64_t start_ns) {
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
        const int flash2 = fcntl(flash2_fd_, F_DUPFD_CLOEXEC, 10);
        if (link < 0 || shared < 0 || eeprom < 0 || flash2 < 0 ||
            dup2(link, simlink::kLinkFd) < 0 || dup2(shared, simlink::kSharedFd) < 0 ||
            dup2(eeprom, simlink::kEepromFd) < 0 || dup2(flash2, simlink::kFlash2Fd) < 0) {
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
    hello_seen_ = false;
    child_start_ns_ = window_start_ns_ = grant_ns_ = start_ns;
    last_output_ns_[0] = last_output_ns_[1] = last_event_ns_ = start_ns;

    const simlink::StartPayload start{start_ns, 0};
    send_message(simlink::Msg::kStart, &start, sizeof start);
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

bool Module::send_message(simlink::Msg type, const void* payload, uint32_t length) {
    if (link_fd_ < 0) return false;
    const auto deadline = deadline_in(options_.hang_timeout_ms);
    const simlink::Header h{uint32_t(type), length};
    Io r = write_all(link_fd_, &h, sizeof h, deadline);
    if (r == Io::kDone && length) r = write_all(link_fd_, payload, length, deadline);
    if (r == Io::kTimedOut) {
        child_hung("it took in nothing it was sent for " + wall_seconds(options_.hang_timeout_ms));
        return false;
    }
    // A closed link is not the end yet: the next read tells how the child ended.
    return true;
}

void Module::send(int port, std::string_view bytes) {
    if (status_ != Status::kRunning || bytes.empty()) return;
    pending_.push_back({port & 1, std::string(bytes)});
}

void Module::stop(const std::string& reason) {
    end_child();
    status_ = Status::kStopped;
    reset_pending_ = false;
    pending_.clear();
    stop_reason_ = reason + " at " + format_time(now_ns_);
    std::fprintf(stderr, "voxa-sim: %s\n", stop_reason_.c_str());
}

void Module::child_gone() {
    int status = 0;
    std::string why = "firmware stopped";
    if (child_ > 0) {
        // The link ends with the child, or the child closed it and may go on running: it gets
        // as long to end as it would get to answer.
        if (wait_exit(child_, options_.hang_timeout_ms, &status)) {
            child_ = -1;
            if (WIFSIGNALED(status)) {
                why = std::string("firmware crashed (") + strsignal(WTERMSIG(status)) + ")";
            } else if (WIFEXITED(status)) {
                why = "firmware exited with code " + std::to_string(WEXITSTATUS(status));
            }
        } else {
            why = "firmware hung: it closed its link and went on running";
        }
    }
    stop(why);
}

void Module::child_hung(const std::string& what) {
    stop("firmware hung: " + what);
}

void Module::child_broke_protocol(const std::string& what) {
    stop("firmware broke the link protocol: " + what);
}

std::string Module::check_message(simlink::Msg type, const std::vector<uint8_t>& p) {
    using simlink::Msg;
    const auto sized = [&](const char* what, size_t n) -> std::string {
        if (p.size() == n) return "";
        return std::string(what) + " of " + std::to_string(p.size()) + " bytes (" +
               std::to_string(n) + " expected)";
    };
    // A time the child reports must lie in the current grant and not before floor.
    const auto timed = [&](const char* what, uint64_t t, uint64_t floor) -> std::string {
        if (floor < window_start_ns_) floor = window_start_ns_;
        if (t >= floor && t <= grant_ns_) return "";
        return std::string(what) + " at " + std::to_string(t) + " ns, outside " +
               std::to_string(floor) + " to " + std::to_string(grant_ns_) + " ns";
    };
    switch (type) {
        case Msg::kHello:
        case Msg::kYield:
        case Msg::kUartOutput:
        case Msg::kEvent:
        case Msg::kReset:
        case Msg::kFatal:
        case Msg::kPowerLost:
            break;
        default:
            return "a message of unknown type " + std::to_string(uint32_t(type));
    }
    if (type == Msg::kHello) {
        if (hello_seen_) return "a second hello";
        if (auto bad = sized("a hello", sizeof(simlink::HelloPayload)); !bad.empty()) return bad;
        simlink::HelloPayload hello;
        std::memcpy(&hello, p.data(), sizeof hello);
        if (!std::memchr(hello.panel, 0, sizeof hello.panel)) {
            return "a hello whose panel name does not end";
        }
        const Panel panel = options_.panel;
        if (std::strcmp(hello.panel, panel_name(panel)) != 0) {
            return "a hello from the '" + printable(hello.panel) + "' build where the " +
                   panel_name(panel) + " build was started";
        }
        if (hello.width != panel_width(panel) || hello.height != panel_height(panel)) {
            return "a hello with a " + std::to_string(hello.width) + "x" +
                   std::to_string(hello.height) + " screen from the " + panel_name(panel) +
                   " build";
        }
        return "";
    }
    if (type == Msg::kFatal) return "";  // any text; it is shown only as printable text
    if (!hello_seen_)
        return "a message of type " + std::to_string(uint32_t(type)) + " before hello";
    switch (type) {
        case Msg::kYield: {
            if (auto bad = sized("a yield", 8); !bad.empty()) return bad;
            const uint64_t t = read_u64(p.data());
            if (t != grant_ns_) {
                return "a yield at " + std::to_string(t) + " ns from a grant to " +
                       std::to_string(grant_ns_) + " ns";
            }
            return "";
        }
        case Msg::kUartOutput: {
            constexpr size_t kRecord = sizeof(simlink::OutputRecord);
            if (p.empty()) return "UART output without its port";
            if ((p.size() - 1) % kRecord != 0) {
                return "UART output with " + std::to_string(p.size() - 1) +
                       " bytes of records, not whole records of " + std::to_string(kRecord);
            }
            if (p[0] > 1) return "UART output for port " + std::to_string(p[0]);
            uint64_t floor = last_output_ns_[p[0]];
            for (size_t at = 1; at < p.size(); at += kRecord) {
                simlink::OutputRecord rec;
                std::memcpy(&rec, p.data() + at, kRecord);
                if (auto bad = timed("a UART byte", rec.t_ns, floor); !bad.empty()) return bad;
                floor = rec.t_ns;
            }
            return "";
        }
        case Msg::kEvent: {
            if (auto bad = sized("an event", sizeof(simlink::EventRecord)); !bad.empty()) {
                return bad;
            }
            simlink::EventRecord rec;
            std::memcpy(&rec, p.data(), sizeof rec);
            bool valid;
            switch (simlink::Event(rec.kind)) {
                case simlink::Event::kGpio:
                    valid =
                        (rec.value >> 8) < uint32_t(simlink::kGpioLines) && (rec.value & 0xFF) <= 1;
                    break;
                case simlink::Event::kPwm:
                    valid = rec.value < (1u << 10);
                    break;
                case simlink::Event::kLcdClock:
                case simlink::Event::kLcdSignals:
                    valid = rec.value <= 1;
                    break;
                case simlink::Event::kUartRate:
                    valid = (rec.value >> 24) <= 1;
                    break;
                case simlink::Event::kToneOn:
                    valid = true;
                    break;
                case simlink::Event::kToneOff:
                    valid = rec.value == 0;
                    break;
                case simlink::Event::kAudioDuty:
                    valid = rec.value <= kAudioPwmPeriod;
                    break;
                default:
                    return "an event of unknown kind " + std::to_string(rec.kind);
            }
            if (!valid) {
                return "an event of kind " + std::to_string(rec.kind) + " with value " +
                       std::to_string(rec.value);
            }
            return timed("an event", rec.t_ns, last_event_ns_);
        }
        case Msg::kReset:
        case Msg::kPowerLost: {
            const char* what = type == Msg::kReset ? "a reset" : "a power loss";
            if (auto bad = sized(what, 8); !bad.empty()) return bad;
            return timed(what, read_u64(p.data()), window_start_ns_);
        }
        default:
            return "";
    }
}

bool Module::await_yield() {
    const int timeout_ms = options_.hang_timeout_ms;
    std::vector<uint8_t> payload;
    for (;;) {
        if (link_fd_ < 0) {
            child_gone();
            return false;
        }
        simlink::Header h;
        Io r = read_all(link_fd_, &h, sizeof h, deadline_in(timeout_ms));
        if (r == Io::kTimedOut) {
            child_hung("no idle point reached for " + wall_seconds(timeout_ms) + " of wall time");
            return false;
        }
        if (r == Io::kClosed) {
            child_gone();
            return false;
        }
        if (h.length > simlink::kMaxPayload) {
            child_broke_protocol("a message of " + std::to_string(h.length) + " bytes (at most " +
                                 std::to_string(simlink::kMaxPayload) + ")");
            return false;
        }
        payload.resize(h.length);
        r = read_all(link_fd_, payload.data(), h.length, deadline_in(timeout_ms));
        if (r == Io::kTimedOut) {
            child_hung("a message it began was not finished within " + wall_seconds(timeout_ms));
            return false;
        }
        if (r == Io::kClosed) {
            child_gone();
            return false;
        }
        const auto type = simlink::Msg(h.type);
        if (const std::string bad = check_message(type, payload); !bad.empty()) {
            child_broke_protocol(bad);
            return false;
        }
        switch (type) {
            case simlink::Msg::kHello:
                hello_seen_ = true;
                break;
            case simlink::Msg::kYield:
                now_ns_ = read_u64(payload.data());
                return true;
            case simlink::Msg::kUartOutput: {
                const int port = payload[0];
                for (size_t at = 1; at < payload.size(); at += sizeof(simlink::OutputRecord)) {
                    simlink::OutputRecord rec;
                    std::memcpy(&rec, payload.data() + at, sizeof rec);
                    const TimedByte tb{rec.t_ns, rec.byte};
                    last_output_ns_[port] = rec.t_ns;
                    if (on_output) on_output(port, tb);
                    output_[port].push_back(tb);
                }
                break;
            }
            case simlink::Msg::kEvent: {
                simlink::EventRecord rec;
                std::memcpy(&rec, payload.data(), sizeof rec);
                const BoardEvent e{rec.t_ns, simlink::Event(rec.kind), rec.value};
                last_event_ns_ = e.t_ns;
                if (e.kind == simlink::Event::kUartRate)
                    uart_rate_[e.value >> 24] = e.value & 0xFFFFFF;
                events_.push_back(e);
                sound_event(e);
                if (on_event) on_event(e);
                break;
            }
            case simlink::Msg::kReset: {
                const uint64_t t = read_u64(payload.data());
                if (t != child_start_ns_) {
                    instant_resets_ = 0;
                } else if (++instant_resets_ >= kInstantResetLimit) {
                    instant_resets_ = 0;
                    child_hung("it resets the processor as soon as it starts, over and over");
                    return false;
                }
                // The child ends at the reset by itself; one that lingers is not waited for.
                end_child();
                reset_at_ = t;
                reset_pending_ = true;
                return false;
            }
            case simlink::Msg::kPowerLost: {
                // Like pulling the plug: the module is off until someone powers it on.
                end_child();
                now_ns_ = read_u64(payload.data());
                status_ = Status::kOff;
                power_cut_ = true;
                shared_->faults.eeprom_cut_at = 0;
                clear_board();
                pending_.clear();
                return false;
            }
            case simlink::Msg::kFatal:
                stop("simulated hardware stopped: " +
                     printable({reinterpret_cast<const char*>(payload.data()), payload.size()}));
                return false;
            default:
                break;
        }
    }
}

void Module::run_until(uint64_t t_ns) {
    // A waiting card goes in between two grants, as every change of the slot.
    while (sd_waiting_ && sd_waiting_at_ns_ <= t_ns) {
        run_firmware_until(sd_waiting_at_ns_);
        sd_waiting_ = false;
        set_sd_slot(sd_waiting_kind_, sd_waiting_path_);
    }
    run_firmware_until(t_ns);
}

void Module::run_firmware_until(uint64_t t_ns) {
    // The child takes messages of at most kMaxPayload bytes: longer input goes in pieces, all
    // put on the wire at the same time (they queue up behind each other there).
    constexpr size_t kPiece = simlink::kMaxPayload - 9;
    while (status_ == Status::kRunning && now_ns_ < t_ns) {
        bool sent = true;
        for (const auto& in : pending_) {
            for (size_t at = 0; sent && at < in.bytes.size(); at += kPiece) {
                const size_t n = std::min(kPiece, in.bytes.size() - at);
                std::string msg(9 + n, '\0');
                std::memcpy(msg.data(), &now_ns_, 8);
                msg[8] = char(in.port);
                std::memcpy(msg.data() + 9, in.bytes.data() + at, n);
                sent = send_message(simlink::Msg::kUartInput, msg.data(), uint32_t(msg.size()));
            }
            if (!sent) break;
            if (on_input) on_input(in.port, now_ns_, in.bytes);
        }
        pending_.clear();
        if (!sent || !send_message(simlink::Msg::kGrant, &t_ns, sizeof t_ns)) break;
        window_start_ns_ = now_ns_;
        grant_ns_ = t_ns;
        const bool yielded = await_yield();
        collect_touch_adc();
        if (yielded) continue;
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
