#include "standalone.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "flash_window.h"

namespace sim {

namespace {

constexpr uint32_t kFbPixels = simlink::kFrameBufferPixels;

// Memories that outlive a reset, mapped shared so that a copy made by run_isolated() stores
// into the same bytes as this process; and the copy's last word to its parent.
struct Persistent {
    uint8_t eeprom[simlink::kEepromBytes];
    simlink::Faults faults;
    enum class End : uint32_t { kNone, kReturned, kReset };
    End end;
    int32_t value;
    uint64_t reset_ns;
};

// Page-aligned, so that a fuzz harness can write-protect the guard zones (each a whole number of
// pages) and what lies beyond a smaller screen.
alignas(4096) uint16_t memory[Standalone::kGuardPixels + kFbPixels + Standalone::kGuardPixels];
simlink::BoardState state;
simlink::SdSlot slot;
simlink::TouchAdcLog touch_log;
uint8_t dataflash_id = simlink::kDefaultDataFlashId;
uint64_t touch_log_taken = 0;
Persistent* persistent = nullptr;

// Set in a copy made by run_isolated(): the code that tells what the RAM held at the reset.
bool in_isolated_copy = false;
const std::function<int()>* reset_probe = nullptr;

[[noreturn]] void end_copy(Persistent::End how, int value, uint64_t reset_ns) {
    persistent->value = value;
    persistent->reset_ns = reset_ns;
    persistent->end = how;
    std::fflush(nullptr);
    _exit(0);
}

class StandaloneLink final : public Link {
  public:
    uint64_t grant_until() const override { return UINT64_MAX; }
    void sync(Machine&) override {}
    void uart_output(int port, uint64_t, uint8_t byte) override {
        output[port & 1].push_back(char(byte));
    }
    void event(uint64_t, simlink::Event, uint32_t) override {}
    void power_lost(uint64_t) override {}
    // The processor restarts: the copy that ran into it ends here, as a power-on ends at a
    // reset. Nothing unwinds through the firmware's frames, so no half-done critical section
    // or interrupt handler can leave this board masked.
    [[noreturn]] void reset(uint64_t t_ns) override {
        if (!in_isolated_copy) {
            fatal(
                "the firmware reset the processor; run code that may reset through "
                "Standalone::run_isolated()");
        }
        const int value = reset_probe && *reset_probe ? (*reset_probe)() : 0;
        end_copy(Persistent::End::kReset, value, t_ns);
    }
    [[noreturn]] void fatal(const char* why) override {
        std::fprintf(stderr, "voxa standalone board: %s\n", why);
        std::abort();
    }
    std::string output[2];
};

StandaloneLink link;

}  // namespace

Standalone& Standalone::instance() {
    static Standalone board;
    return board;
}

Standalone::Standalone() {
    void* mem = mmap(nullptr, sizeof(Persistent), PROT_READ | PROT_WRITE,
                     MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED) {
        std::perror("voxa standalone board: shared memory");
        std::abort();
    }
    persistent = static_cast<Persistent*>(mem);
    std::memset(persistent->eeprom, 0xFF, sizeof persistent->eeprom);
    reset_guards();
    static Machine m(link, state, memory + kGuardPixels, 0);
    machine_ = &m;
    set_machine(machine_);
    m.attach_storage(persistent->eeprom, &slot, &persistent->faults);
    m.attach_touch(nullptr, &touch_log);
    flash2_fd_ = memfd_create("voxa-flash2", MFD_CLOEXEC);
    const uint8_t* window = flash2_fd_ < 0 ? nullptr : map_flash_window(flash2_fd_);
    if (!window) {
        std::perror("voxa standalone board: Flash2 window");
        std::abort();
    }
    m.attach_flash2(window, flash2_fd_);
    m.attach_dataflash_id(&dataflash_id);
}

bool Standalone::set_flash2(const std::vector<uint8_t>& bytes) {
    if (bytes.size() > kFlash2Size) return false;
    // A new file, so that the old one can simply go: its pages are replaced in the window
    // before it is closed.
    const int fd = memfd_create("voxa-flash2", MFD_CLOEXEC);
    const size_t size = flash_file_size(bytes.size(), kFlash2SectorSize);
    bool ok = fd >= 0 && ftruncate(fd, off_t(size)) == 0;
    if (ok && size > 0) {
        void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ok = p != MAP_FAILED;
        if (ok) {
            if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
            std::memset(static_cast<uint8_t*>(p) + bytes.size(), 0xFF, size - bytes.size());
            munmap(p, size);
        }
    }
    if (!ok || !map_flash_window(fd, machine_->flash2_window())) {
        std::perror("voxa standalone board: Flash2 window");
        std::abort();
    }
    close(flash2_fd_);
    flash2_fd_ = fd;
    machine_->attach_flash2(machine_->flash2_window(), fd);
    return true;
}

size_t Standalone::flash2_file_size() const {
    struct stat st;
    return fstat(flash2_fd_, &st) == 0 ? size_t(st.st_size) : 0;
}

void Standalone::set_dataflash_id(uint8_t id) {
    dataflash_id = id;
}

Standalone::Ending Standalone::run_isolated(const std::function<int()>& code,
                                            const std::function<int()>& at_reset) {
    persistent->end = Persistent::End::kNone;
    std::fflush(nullptr);  // what is buffered now is written once, by this process
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("voxa standalone board: fork");
        std::abort();
    }
    if (pid == 0) {
        in_isolated_copy = true;
        reset_probe = &at_reset;
        const int value = code();
        end_copy(Persistent::End::kReturned, value, 0);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            std::perror("voxa standalone board: waitpid");
            std::abort();
        }
    }
    Ending e;
    const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (clean && persistent->end == Persistent::End::kReturned) {
        e.kind = Ending::Kind::kReturned;
        e.value = persistent->value;
    } else if (clean && persistent->end == Persistent::End::kReset) {
        e.kind = Ending::Kind::kReset;
        e.value = persistent->value;
        e.reset_ns = persistent->reset_ns;
    } else if (WIFSIGNALED(status)) {
        e.why = std::string("killed by ") + strsignal(WTERMSIG(status));
    } else {
        e.why = "exited with code " + std::to_string(WEXITSTATUS(status));
    }
    persistent->end = Persistent::End::kNone;
    // The copy shares the window's file but mapped the sectors it grew only in its own address
    // space: map them here too.
    if (!map_flash_window(flash2_fd_, machine_->flash2_window())) {
        std::perror("voxa standalone board: Flash2 window");
        std::abort();
    }
    return e;
}

void Standalone::reset_guards() {
    for (uint32_t i = 0; i < kGuardPixels; ++i) {
        memory[i] = kGuardPattern;
        memory[kGuardPixels + kFbPixels + i] = kGuardPattern;
    }
}

bool Standalone::guards_intact() const {
    for (uint32_t i = 0; i < kGuardPixels; ++i) {
        if (memory[i] != kGuardPattern || memory[kGuardPixels + kFbPixels + i] != kGuardPattern) {
            return false;
        }
    }
    return true;
}

std::string Standalone::take_output(int port) {
    std::string s;
    s.swap(link.output[port & 1]);
    return s;
}

void Standalone::discard_output(int port) {
    machine_->uart(port).discard_tx();
    link.output[port & 1].clear();
}

void Standalone::send(int port, std::string_view bytes) {
    machine_->wire_in(port, machine_->now(), reinterpret_cast<const uint8_t*>(bytes.data()),
                      uint32_t(bytes.size()));
}

void Standalone::run_for_ns(uint64_t ns) {
    const uint64_t end = machine_->now() + ns;
    while (machine_->now() < end) machine_->idle(end - machine_->now());
}

uint8_t* Standalone::eeprom() {
    return persistent->eeprom;
}
simlink::Faults& Standalone::faults() {
    return persistent->faults;
}

void Standalone::cut_power_at_eeprom_write(uint64_t n, bool byte_stored) {
    simlink::Faults& f = persistent->faults;
    f.eeprom_writes = 0;
    f.eeprom_cut_stores = byte_stored ? 1 : 0;
    f.eeprom_cut_at = n;
}

void Standalone::cut_power_at_flash_op(uint64_t n, bool op_done) {
    simlink::Faults& f = persistent->faults;
    f.flash_ops = 0;
    f.flash_cut_done = op_done ? 1 : 0;
    f.flash_cut_at = n;
}

void Standalone::cut_power_at_sd_write(uint64_t n, simlink::SdCut mode) {
    simlink::Faults& f = persistent->faults;
    f.sd_writes = 0;
    f.sd_cut_mode = uint8_t(mode);
    f.sd_cut_at = n;
}

void Standalone::insert_sd_image(const std::string& path) {
    machine_->sd().insert_image(path);
}
void Standalone::insert_sd_memory(uint8_t* data, size_t size, uint32_t sectors) {
    machine_->sd().insert_memory(data, size, sectors);
}
void Standalone::insert_sd_folder(const std::string& path) {
    machine_->sd().insert_folder(path);
}
void Standalone::remove_sd() {
    machine_->sd().remove();
}
void Standalone::bounce_card_detect(bool open) {
    machine_->sd().bounce_switch(open);
}

bool Standalone::touch(int x, int y, int pressure) {
    TouchPanel& panel = machine_->touch_panel();
    if (!panel.on_screen(x, y)) return false;
    panel.press(x, y, pressure < 0 ? panel.config().pressure : pressure);
    return true;
}

bool Standalone::move(int x, int y) {
    TouchPanel& panel = machine_->touch_panel();
    if (!panel.touched() || !panel.on_screen(x, y)) return false;
    panel.press(x, y, panel.pressure());
    return true;
}

void Standalone::release() {
    machine_->touch_panel().lift();
}

void Standalone::set_touch_panel(const simlink::TouchPanelConfig& config) {
    machine_->touch_panel().configure(config);
}

std::vector<simlink::TouchAdcRecord> Standalone::take_touch_adc_log() {
    std::vector<simlink::TouchAdcRecord> out;
    if (touch_log.written - touch_log_taken > simlink::kTouchLogRecords) {
        touch_log_taken = touch_log.written - simlink::kTouchLogRecords;
    }
    for (; touch_log_taken < touch_log.written; ++touch_log_taken) {
        out.push_back(touch_log.records[touch_log_taken % simlink::kTouchLogRecords]);
    }
    return out;
}

}  // namespace sim
