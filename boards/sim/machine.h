// The simulated i.MX21 board: interrupt controller, millisecond timer, two UARTs, GPIO lines
// and the LCD controller, all driven by one virtual clock.
//
// Virtual time passes only when the firmware waits (idle) or reports finished work
// (checkpoint). Events (timer restarts, bytes on the wires, ends of frames) happen at exact
// nanosecond times in order; after each one, the interrupts it raised run, highest source first,
// unless the firmware masked them. The machine runs only as far as its link grants.
#pragma once

#include <cstdint>

#include "device/board.h"
#include "lcd_controller.h"
#include "link.h"
#include "protocol.h"
#include "sd_card.h"
#include "touch_panel.h"
#include "uart_model.h"

namespace sim {

class Machine final : private UartModel::Sink, private TouchAdcSink {
  public:
    static constexpr uint64_t kNever = UINT64_MAX;

    Machine(Link& link, simlink::BoardState& state, uint16_t* framebuffer, uint64_t start_ns);

    uint64_t now() const { return now_; }
    simlink::BoardState& state() { return state_; }
    uint16_t* framebuffer() { return framebuffer_; }
    Link& link() { return link_; }

    // Waiting and work.
    void idle(uint64_t max_ns);
    void checkpoint(uint64_t cost_ns);

    // Interrupt controller.
    void irq_init();
    void irq_set_handler(int source, IsrHandler handler);
    void irq_enable(int source, bool on);
    uint32_t irq_save();
    void irq_restore(uint32_t state);
    // A register write may have raised an interrupt: deliver it now if the processor would.
    // Returns whether any handler ran.
    bool deliver_interrupts();

    // Millisecond timer.
    void timer_start(uint32_t compare);
    void timer_stop();
    uint32_t timer_count() const;
    void timer_ack() { timer_event_ = false; }

    UartModel& uart(int port) { return port == kCom1 ? uart1_ : uart0_; }

    void gpio_write(Gpio line, bool high);
    // Any output line of the board by its index in BoardState::gpio (GPIO lines and the
    // com1 transmit-enable pin).
    void line_write(int index, bool high);
    bool gpio_read(Gpio line) const;

    void lcd_configure(const LcdConfig& config);
    void lcd_clock(bool on);
    void lcd_signals(bool active);
    void lcd_pwm(uint8_t width, bool enable, bool line_clock);
    bool lcd_take_end_of_frame();
    // The peripheral register block (offsets as in board.h); only the LCD controller's words
    // are there.
    uint32_t register_read32(uint32_t offset) const;
    void register_write32(uint32_t offset, uint32_t value);

    void audio_init();
    void tone_start(uint32_t compare);
    void tone_stop();
    void audio_duty(uint32_t counts);

    // Inputs from the world (called by the link while the firmware is stopped).
    void wire_in(int port, uint64_t t_ns, const uint8_t* bytes, uint32_t count);

    // Persistent memories and the card slot, as the start-up code found them: the 64 KB
    // EEPROM, the slot set-up of the world and the fault injection counters.
    void attach_storage(uint8_t* eeprom, simlink::SdSlot* slot, simlink::Faults* faults);
    // Takes over a changed slot set-up (a card inserted or removed by the world).
    void apply_sd_slot();

    uint8_t eeprom_read(uint32_t address);
    void eeprom_write(uint32_t address, uint8_t value);

    // The Flash2 window (kFlash2Size bytes, read-only), as the start-up code mapped it over
    // the file fd, through which the board erases and programs it.
    void attach_flash2(const uint8_t* window, int fd) {
        flash2_ = window;
        flash2_fd_ = fd;
    }
    const uint8_t* flash2_window() const { return flash2_; }
    // Where erase and program operations are recorded (none when null).
    void attach_flash_log(simlink::FlashOpLog* log) { flash_log_ = log; }
    // The boot flash operations of the board contract, on module addresses; their results are
    // the contract's.
    int flash_erase_sector(uint32_t address);
    int flash_is_erased(uint32_t address, uint32_t length) const;
    int flash_write_block(uint32_t address, const uint8_t* data, uint32_t length);

    // The SPI data flash's capacity byte, read where the world keeps it (null: the default).
    void attach_dataflash_id(const uint8_t* id) { dataflash_id_ = id; }
    uint8_t dataflash_id() const {
        return dataflash_id_ ? *dataflash_id_ : simlink::kDefaultDataFlashId;
    }

    SdCard& sd() { return sd_; }
    int sd_init();
    bool sd_read(uint32_t sector, uint8_t* data);
    bool sd_write(uint32_t sector, const uint8_t* data);
    // Lets the time of a transfer of this many bytes pass.
    void sd_transfer_time(uint32_t bytes, bool write);

    // The touch panel. The world's finger and panel set-up (in, may be null) are taken over
    // at attach and when each grant starts; every conversion is logged (log, may be null).
    void attach_touch(simlink::TouchInput* in, simlink::TouchAdcLog* log);
    void apply_touch();
    TouchPanel& touch_panel() { return touch_; }
    void touch_exchange(const uint8_t* tx, uint8_t* rx, int length);

    // False after a fault injection cut the power: nothing is stored any more.
    bool powered() const { return powered_; }
    void restore_power() { powered_ = true; }

  private:
    void uart_byte_sent(int port, uint64_t t_ns, uint8_t byte) override;
    void uart_rate_changed(int port, uint64_t t_ns, uint32_t rate) override;
    void conversion(uint8_t control, uint16_t result) override;

    uint64_t next_event() const;
    // Moves the clock to t (which no event precedes) and handles what happens there.
    void step_to(uint64_t t);
    void wait_for_grant();
    bool source_asserted(int source) const;
    // Counts a boot flash operation against the armed power cut. False when it must not be
    // done: the power is off, or goes now with the operation lost (true: it is done, and
    // flash_cut_after() then ends the power-on).
    bool flash_op_allowed();
    void flash_cut_after();
    int highest_pending() const;

    Link& link_;
    simlink::BoardState& state_;
    uint16_t* framebuffer_;
    uint64_t now_;

    IsrHandler handlers_[kIrqSourceCount] = {};
    bool enabled_[kIrqSourceCount] = {};
    bool masked_ = true;  // the processor leaves reset with interrupts off
    bool in_isr_ = false;

    bool timer_running_ = false;
    bool timer_event_ = false;
    uint32_t timer_compare_ = 0;
    uint64_t timer_period_ns_ = 0;
    uint64_t timer_period_start_ = 0;
    uint64_t timer_next_ = kNever;

    UartModel uart0_;
    UartModel uart1_;

    // Decodes the controller's words into the screen geometry and the frame period.
    void lcd_retime();
    void lcd_pwm_changed();
    LcdController lcdc_;
    uint64_t frame_ns_ = 0;  // 0: no frames
    uint64_t frame_origin_ = 0;
    uint64_t frames_seen_ = 0;

    uint8_t* eeprom_ = nullptr;
    simlink::SdSlot* slot_ = nullptr;
    simlink::Faults* faults_ = nullptr;
    const uint8_t* flash2_ = nullptr;
    int flash2_fd_ = -1;
    simlink::FlashOpLog* flash_log_ = nullptr;
    void log_flash_op(simlink::FlashOp op, uint32_t offset, uint32_t length);
    bool flash_cut_pending_ = false;
    const uint8_t* dataflash_id_ = nullptr;
    uint32_t slot_generation_ = 0;
    SdCard sd_;
    bool powered_ = true;

    TouchPanel touch_;
    simlink::TouchInput* touch_in_ = nullptr;
    simlink::TouchAdcLog* touch_log_ = nullptr;
    uint32_t touch_generation_ = 0;
};

// The machine of this process (set up by the board's start-up code).
Machine& machine();
void set_machine(Machine* m);

}  // namespace sim
