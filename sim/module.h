// A simulated VOXA5-PLUS module as seen from the outside world: power, two serial lines, the
// screen and the board's output lines, in virtual time.
//
// Each power-on runs the firmware of the chosen panel build as a child process (voxa-fw-wvga,
// voxa-fw-svga or voxa-fw-vga next to this program), so every start begins from pristine
// firmware state and a firmware crash ends only that child. The module advances only when told
// to (run_for / run_until); between those calls it stands still and everything can be
// inspected.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "boards/sim/protocol.h"

namespace sim {

enum class Panel { kWvga, kSvga, kVga };

const char* panel_name(Panel p);  // "wvga", "svga", "vga"
bool parse_panel(std::string_view name, Panel* out);
int panel_width(Panel p);
int panel_height(Panel p);

struct TimedByte {
    uint64_t t_ns;
    uint8_t byte;
};

struct BoardEvent {
    uint64_t t_ns;
    simlink::Event kind;
    uint32_t value;
};

// The beeper's output from one change to the next: the tone timer and whether it drives the
// amplifier, the volume PWM and the speaker it goes to.
struct SoundState {
    uint64_t t_ns = 0;
    bool on = false;
    uint32_t compare = 0;  // of the tone timer
    uint8_t duty = 0;      // counts of the volume PWM's period (102) the output is high
    bool external = false;
    // The square wave's frequency as the timer makes it from the compare value; 0 when off.
    double hz() const;
    // Loudness 0..1 (0 when off).
    double level() const;
};

class Module {
  public:
    struct Options {
        Panel panel = Panel::kWvga;
        // Where the firmware executables are; empty: the directory of this program. (Tests put
        // stand-ins for the firmware there.)
        std::string firmware_dir;
        // Wall-clock milliseconds a child may go without sending anything (or take to finish
        // a message it began, or to take in what it is sent, or to end after closing its link)
        // before it is declared hung and stopped.
        int hang_timeout_ms = 30000;
        // Folder of the module's persistent memories (eeprom.bin: the 64 KB EEPROM, created
        // erased). Empty: they last as long as this Module object.
        std::string state_dir;
        // The SD card: a FAT image file, or a host folder shown as the card; neither (or
        // no_sd) leaves the slot empty.
        std::string sd_image;
        std::string sd_dir;
        bool no_sd = false;
        // The capacity byte the SPI data flash reports in its identification.
        uint8_t dataflash_id = simlink::kDefaultDataFlashId;
    };

    enum class Status { kOff, kRunning, kStopped };

    explicit Module(Options options);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Switches the module on (cold start: the frame buffer is cleared) / off.
    void power_on();
    void power_off();
    // Off, then on again at the current time.
    void power_cycle();
    // The reset button: the processor restarts at once and the firmware begins again from its
    // reset state; the frame buffer memory and the outside world are untouched. Nothing
    // happens while the module is off or stopped.
    void hardware_reset();

    // Puts bytes on a serial line towards the module, starting now.
    void send(int port, std::string_view bytes);

    // Lets the module run up to t_ns (time passes also while it is off or stopped).
    void run_until(uint64_t t_ns);
    void run_for_ns(uint64_t ns) { run_until(now_ns_ + ns); }
    void run_for_ms(double ms) { run_for_ns(uint64_t(ms * 1e6)); }
    uint64_t now_ns() const { return now_ns_; }

    // Everything the module has sent on a port since the last take.
    std::vector<TimedByte> take_output(int port);
    std::string take_text(int port);
    // Called for each output byte as it is collected (before it is queued for take_output).
    std::function<void(int port, const TimedByte&)> on_output;
    std::function<void(const BoardEvent&)> on_event;
    // Incoming bytes as they are delivered to the module (for logs).
    std::function<void(int port, uint64_t t_ns, std::string_view bytes)> on_input;

    const std::vector<BoardEvent>& events() const { return events_; }
    // Every change of the sound since the module was made, oldest first; the first entry is
    // the silence at time 0. Power-off and resets silence it.
    const std::vector<SoundState>& sound() const { return sound_; }
    void clear_events() { events_.clear(); }

    Status status() const { return status_; }
    // Why the module stopped (a firmware crash or hang, or a firmware process that broke the
    // link protocol), empty otherwise.
    const std::string& stop_reason() const { return stop_reason_; }
    int power_ons() const { return power_ons_; }
    int resets() const { return resets_; }

    // The SD card slot, changed while the module runs or is off. A running firmware sees the
    // card-detect switch change when its next time slice starts. Paths must exist (the card is
    // otherwise one that does not answer).
    //
    // A card goes in only once the slot has been empty for kSdSwapGapNs of virtual time: an
    // insert into a full slot takes the old card out now and puts the new one in that much
    // later, and so does an insert that follows a removal too closely. The firmware's
    // card-detect debounce then always sees the removal between two cards, and never takes
    // the new card for the old one. Until the card is in, the slot is empty; a removal cancels
    // a card that is still waiting to go in.
    static constexpr uint64_t kSdSwapGapNs = 100'000'000;
    void insert_sd_image(const std::string& path);
    void insert_sd_folder(const std::string& path);
    void remove_sd();
    // When the slot holds what it was last given: now, or the later time at which a card
    // waiting to go in enters.
    uint64_t sd_settled_ns() const { return sd_waiting_ ? sd_waiting_at_ns_ : now_ns_; }
    // A card is in the slot now.
    bool sd_card_in() const { return sd_full_; }

    // The touch panel, simulated at its ADC, and the finger on it. Positions are screen
    // pixels as a screenshot shows them; a pressure is in the firmware's own units (a lighter
    // touch is larger), below 0 the panel's default. The firmware sees a change when its next
    // time slice starts; a finger may rest on the panel before power-on and stays through
    // power cycles and resets. touch() and move() refuse (false) a point off the panel, move()
    // and drag() also a panel nobody touches.
    bool touch(int x, int y, int pressure = -1);
    bool move(int x, int y);
    void release();
    // A straight line from where the finger is to (x, y) in ms of virtual time, a new position
    // every millisecond, the last one held for the last millisecond. Time passes through
    // advance_to (run_until when not given: a session passes its own to keep serving its
    // endpoints).
    bool drag(int x, int y, double ms, const std::function<void(uint64_t)>& advance_to = {});
    bool on_panel(int x, int y) const { return x >= 0 && y >= 0 && x < width() && y < height(); }
    bool touched() const { return shared_->touch.down != 0; }
    const simlink::TouchInput& touch_input() const { return shared_->touch; }
    // The panel's set-up; its screen size is always this module's.
    void set_touch_panel(const simlink::TouchPanelConfig& config);
    const simlink::TouchPanelConfig& touch_panel() const { return shared_->touch.config; }
    // The ADC's conversions (control byte, 12-bit result, virtual time), recorded while
    // switched on (off at first), oldest first since the last take. A ring in the shared
    // memory holds them between two time slices; what overflows it is counted as lost.
    void record_touch_adc(bool on);
    std::vector<simlink::TouchAdcRecord> take_touch_adc_log();
    uint64_t touch_adc_lost() const { return touch_adc_lost_; }

    // The EEPROM as it is stored now (kEepromBytes bytes); tests may also write it while the
    // module is off.
    uint8_t* eeprom() { return eeprom_; }
    static constexpr uint32_t kEepromBytes = simlink::kEepromBytes;

    // The Flash2 window of the boot flash (kFlash2Bytes): kept in flash2.bin under the state
    // folder (or in memory without one) from offset 0, in whole 128 KB sectors; what lies beyond
    // the file reads erased (0xFF). A new module's window is all erased. The firmware's erase and
    // program operations store into the same file (growing it when they reach beyond it).
    static constexpr uint32_t kFlash2Bytes = simlink::kFlash2Bytes;
    // Replaces the whole window, as erasing it and programming bytes from offset 0 would: the
    // rest of the last sector and everything after it read erased. More bytes than the window
    // holds are refused (false, *error says why) and change nothing; so does a file that cannot
    // be written. A firmware that runs keeps reading the window it started with until its next
    // start (power-on or reset).
    bool write_flash2(const std::vector<uint8_t>& bytes, std::string* error = nullptr);
    // Why size bytes cannot go into the window, empty when they can.
    static std::string flash2_refusal(size_t size);
    // length bytes of the window as it is stored now, from offset (cut at the window's end).
    std::vector<uint8_t> read_flash2(uint32_t offset, uint32_t length) const;

    // Fault injection. The power is cut during the nth EEPROM byte write from now, the byte
    // being written stored or lost; the module is then off (status kOff, power_cut() true)
    // until power_on(). n = 0 disarms.
    void cut_power_at_eeprom_write(uint64_t n, bool byte_stored);
    // EEPROM byte writes since the last arming (or since the module was made).
    uint64_t eeprom_writes() const { return shared_->faults.eeprom_writes; }
    // The power is cut after the nth boot flash operation (sector erase or block program) from
    // now, that operation done or lost as op_done says; nothing is stored after it, and the
    // module is off as after an EEPROM cut. n = 0 disarms.
    void cut_power_at_flash_op(uint64_t n, bool op_done);
    // Boot flash operations since the last arming (or since the module was made).
    uint64_t flash_ops() const { return shared_->faults.flash_ops; }
    // The boot flash operations the board carried out since the last take, oldest first (the
    // last simlink::kFlashLogRecords at most), across power-ons.
    std::vector<simlink::FlashOpRecord> take_flash_log();
    bool power_cut() const { return power_cut_; }
    // Sector reads / writes of the card fail from the nth one from now on (0: never).
    void fail_sd_reads_from(uint64_t n);
    void fail_sd_writes_from(uint64_t n);
    // The power is cut during the nth sector write of an image card from now, that sector
    // stored, lost or torn as mode says; the module is then off as after an EEPROM cut. The
    // count starts again at 0 (it is the one fail_sd_writes_from uses). n = 0 disarms.
    void cut_power_at_sd_write(uint64_t n, simlink::SdCut mode);
    // A slow card: each sector written takes ns longer than the model's (0: a normal card).
    void slow_sd_writes(uint64_t ns) { shared_->faults.sd_write_extra_ns = ns; }
    // Sector writes of an image card since the last arming of either.
    uint64_t sd_writes() const { return shared_->faults.sd_writes; }

    Panel panel() const { return options_.panel; }
    const std::string& state_dir() const { return options_.state_dir; }
    int width() const { return panel_width(options_.panel); }
    int height() const { return panel_height(options_.panel); }
    const uint16_t* framebuffer() const { return shared_->framebuffer; }
    uint16_t pixel(int x, int y) const { return shared_->framebuffer[y * width() + x]; }
    const simlink::BoardState& board() const { return shared_->board; }
    // The current rate of a UART as the firmware programmed it.
    uint32_t uart_rate(int port) const { return uart_rate_[port & 1]; }

  private:
    // Starts a power-on at start_ns and runs it to its first wait (starting again when the
    // firmware resets the processor on the way).
    void start_child(uint64_t start_ns);
    void launch_child(uint64_t start_ns);
    // The processor restarts at t_ns after a reset (its own or the button's).
    void restart_after_reset(uint64_t t_ns);
    void end_child();
    // False when the child stopped taking in what it is sent (the module is then stopped).
    bool send_message(simlink::Msg type, const void* payload, uint32_t length);
    // Reads and handles messages until the child yields; false when it went away.
    bool await_yield();
    // Checks a message from the child against the protocol; empty when it may be taken.
    std::string check_message(simlink::Msg type, const std::vector<uint8_t>& payload);
    // The ways a power-on ends early. Each stops the module (status kStopped) with the reason.
    void child_gone();
    void child_hung(const std::string& what);
    void child_broke_protocol(const std::string& what);
    void stop(const std::string& reason);
    std::string executable() const;

    // The firmware's part of run_until.
    void run_firmware_until(uint64_t t_ns);

    // The board's outputs return to their reset state (all lines low, tone and PWM off).
    void clear_board();
    void sound_event(const BoardEvent& e);
    void sound_change(SoundState next);

    void open_eeprom();
    void open_flash2();
    void collect_touch_adc();
    void set_sd_slot(simlink::SdKind kind, const std::string& path);
    void insert_sd(simlink::SdKind kind, const std::string& path);

    Options options_;
    simlink::Shared* shared_ = nullptr;
    int shared_fd_ = -1;
    int eeprom_fd_ = -1;
    uint8_t* eeprom_ = nullptr;
    int flash2_fd_ = -1;
    bool power_cut_ = false;
    int link_fd_ = -1;
    pid_t child_ = -1;
    Status status_ = Status::kOff;
    std::string stop_reason_;
    uint64_t now_ns_ = 0;
    int power_ons_ = 0;
    int resets_ = 0;
    uint64_t reset_at_ = 0;
    bool reset_pending_ = false;
    // What the child may report: times from the start of the current grant up to its end,
    // never before what it reported earlier on the same line; a hello first and only once.
    uint64_t child_start_ns_ = 0;
    uint64_t window_start_ns_ = 0;
    uint64_t grant_ns_ = 0;
    uint64_t last_output_ns_[2] = {};
    uint64_t last_event_ns_ = 0;
    bool hello_seen_ = false;
    // Resets at the very time their power-on began, one after another.
    int instant_resets_ = 0;
    uint32_t uart_rate_[2] = {115200, 115200};

    // The card slot: whether a card is in, when the next one may go in, and the card that
    // waits for that moment.
    bool sd_full_ = false;
    uint64_t sd_free_at_ns_ = 0;
    bool sd_waiting_ = false;
    uint64_t sd_waiting_at_ns_ = 0;
    simlink::SdKind sd_waiting_kind_ = simlink::SdKind::kNone;
    std::string sd_waiting_path_;

    struct PendingInput {
        int port;
        std::string bytes;
    };
    std::vector<PendingInput> pending_;
    std::vector<TimedByte> output_[2];
    std::vector<BoardEvent> events_;
    std::vector<SoundState> sound_ = {SoundState{}};

    bool touch_recording_ = false;
    uint64_t touch_adc_read_ = 0;
    uint64_t touch_adc_lost_ = 0;
    std::vector<simlink::TouchAdcRecord> touch_adc_;
    uint64_t flash_log_read_ = 0;
};

}  // namespace sim
