// The simulated board inside the calling process, for unit tests, fuzzers and benchmarks that
// call firmware functions directly. Time is not granted by anyone: it runs as far as the
// firmware waits. The frame buffer lies between two guard zones that tests can inspect.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "machine.h"

namespace sim {

class Standalone {
  public:
    static constexpr uint32_t kGuardPixels = 4096;
    static constexpr uint16_t kGuardPattern = 0xA55A;

    // The board of this process, created on first use.
    static Standalone& instance();

    Machine& machine() { return *machine_; }
    uint16_t* framebuffer() { return machine_->framebuffer(); }
    // True while nothing has been written into either guard zone.
    bool guards_intact() const;
    void reset_guards();

    // What the firmware sent on a port since the last take.
    std::string take_output(int port);
    // Drops what the firmware has put into a port's transmitter and not yet sent, as if it had
    // left in no time: for benchmarks that run the firmware over and over without letting the
    // line drain.
    void discard_output(int port);
    // Puts bytes on a line towards the firmware, starting now.
    void send(int port, std::string_view bytes);
    // Lets virtual time pass with the processor idle.
    void run_for_ns(uint64_t ns);

    // The 64 KB EEPROM (erased to 0xFF when the process starts) and the fault counters. Both
    // are shared with the copies that run_isolated() makes.
    uint8_t* eeprom();
    simlink::Faults& faults();
    // Arms a power cut during the nth EEPROM byte write from now (0 disarms).
    void cut_power_at_eeprom_write(uint64_t n, bool byte_stored);
    // Arms a power cut after the nth boot flash operation (sector erase or block program) from
    // now, that operation done or lost as op_done says (0 disarms). The cut operation and every
    // later one return non-zero and store nothing.
    void cut_power_at_flash_op(uint64_t n, bool op_done);
    // Arms a power cut during the nth SD sector write from now, that sector stored, lost or
    // torn as mode says (0 disarms); the count starts again at 0 (faults().sd_writes). Until
    // power_on_again() every card transfer fails. Image cards only (file or memory).
    void cut_power_at_sd_write(uint64_t n, simlink::SdCut mode);
    // True once a power cut happened; power_on_again() lets the board store again.
    bool power_lost() const { return !machine_->powered(); }
    void power_on_again() { machine_->restore_power(); }

    // The Flash2 window as the firmware reads it (kFlash2Size bytes, read-only; erased when the
    // process starts). set_flash2 replaces the whole window, as erasing it and programming the
    // bytes from offset 0 would; the rest reads erased. The pointer stays the same. False (the
    // window unchanged) for more bytes than the window holds.
    const uint8_t* flash2_window() { return machine_->flash2_window(); }
    bool set_flash2(const std::vector<uint8_t>& bytes);
    // The window's backing file as it is stored now: whole sectors from offset 0 (what lies
    // beyond reads erased). Programming beyond its end grows it.
    size_t flash2_file_size() const;

    // What ReadSerialFlashID() returns (0x17 when the process starts).
    void set_dataflash_id(uint8_t id);

    // The card in the slot (the card-detect switch follows at once). A card put in is
    // uninitialised until the firmware brings it up (sd_card_init).
    void insert_sd_image(const std::string& path);
    void insert_sd_memory(uint8_t* data, size_t size, uint32_t sectors = 0);
    void insert_sd_folder(const std::string& path);
    void remove_sd();
    // The card-detect contacts open (true) or close again while the card stays in and powered.
    void bounce_card_detect(bool open);

    // The finger on the touch panel, in screen pixels (the panel starts as the inverse of the
    // firmware's default calibration of an 800 x 480 screen). touch() and move() refuse a
    // point off the screen (false); move() also refuses while no finger is down. A pressure
    // below 0 is the panel's default. The firmware sees a change at once.
    bool touch(int x, int y, int pressure = -1);
    bool move(int x, int y);
    void release();
    void set_touch_panel(const simlink::TouchPanelConfig& config);
    TouchPanel& touch_panel() { return machine_->touch_panel(); }
    // The ADC's conversions since the last take, oldest first (the last 16384 at most; those
    // of a run_isolated() copy stay in the copy).
    std::vector<simlink::TouchAdcRecord> take_touch_adc_log();

    // How code given to run_isolated() ended.
    struct Ending {
        enum class Kind { kReturned, kReset, kCrashed };
        Kind kind = Kind::kCrashed;
        // kReturned: what the code returned; kReset: what at_reset returned (0 without one).
        int value = 0;
        uint64_t reset_ns = 0;  // kReset: the virtual time of the reset
        std::string why;        // kCrashed: the signal or exit status
        bool reset() const { return kind == Kind::kReset; }
        bool returned() const { return kind == Kind::kReturned; }
    };

    // Runs code that may reset the processor on a copy of this board in a forked child
    // process. A reset ends the copy where it happens, as a reset ends a power-on: nothing
    // unwinds, no firmware code runs after it, and this process and its board stay exactly as
    // they were. Only the persistent memories (EEPROM, Flash2 window, fault counters) and what
    // the copy wrote to files outlive it; its RAM, its machine and its UART output do not.
    // at_reset, if given, runs in the copy at the moment of the reset to tell what the RAM held
    // then. Test assertions made inside the copy are not seen by the test: return results instead.
    //
    // A reset outside run_isolated() stops the process with a message.
    Ending run_isolated(const std::function<int()>& code,
                        const std::function<int()>& at_reset = {});

  private:
    Standalone();
    Machine* machine_;
    int flash2_fd_ = -1;
};

}  // namespace sim
