#include "machine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cost_model.h"
#include "flash_window.h"

namespace sim {

namespace {

Machine* g_machine = nullptr;

constexpr uint64_t kPixelClockHz = 26'000'000;
// An interrupt handler that keeps its source asserted would lock the processor up; after this
// many back-to-back entries without time passing the board reports it instead of spinning.
constexpr int kInterruptStormLimit = 100000;

}  // namespace

Machine& machine() {
    if (!g_machine) {
        std::fprintf(stderr, "voxa: simulated board used before start-up\n");
        std::abort();
    }
    return *g_machine;
}

void set_machine(Machine* m) {
    g_machine = m;
}

Machine::Machine(Link& link, simlink::BoardState& state, uint16_t* framebuffer, uint64_t start_ns)
    : link_(link),
      state_(state),
      framebuffer_(framebuffer),
      now_(start_ns),
      uart0_(kCom0, *this),
      uart1_(kCom1, *this) {}

// ---------------------------------------------------------------------------------------------
// Time

uint64_t Machine::next_event() const {
    uint64_t t = timer_next_;
    if (const uint64_t u = uart0_.next_event(); u < t) t = u;
    if (const uint64_t u = uart1_.next_event(); u < t) t = u;
    return t;
}

void Machine::wait_for_grant() {
    now_ = link_.grant_until();
    link_.sync(*this);
    apply_sd_slot();
    apply_touch();
}

void Machine::step_to(uint64_t t) {
    now_ = t;
    while (timer_next_ <= now_) {
        timer_period_start_ = timer_next_;
        timer_next_ += timer_period_ns_;
        timer_event_ = true;
    }
    uart0_.advance(now_);
    uart1_.advance(now_);
    deliver_interrupts();
}

void Machine::idle(uint64_t max_ns) {
    // An interrupt that was held back (masked, or raised by a register write) is taken first;
    // like a wait-for-interrupt that finds one pending, the wait then ends at once.
    if (deliver_interrupts()) return;
    const uint64_t limit = max_ns == kNever ? kNever : now_ + max_ns;
    for (;;) {
        uint64_t t = next_event();
        if (limit < t) t = limit;
        if (t == kNever) {
            // Nothing will ever happen on its own: only the world can wake the board.
            wait_for_grant();
            continue;
        }
        if (t > link_.grant_until()) {
            wait_for_grant();
            continue;
        }
        step_to(t < now_ ? now_ : t);
        return;
    }
}

void Machine::checkpoint(uint64_t cost_ns) {
    const uint64_t target = now_ + cost_ns;
    deliver_interrupts();
    while (now_ < target) {
        uint64_t t = next_event();
        if (target < t) t = target;
        if (t > link_.grant_until()) {
            wait_for_grant();
            continue;
        }
        step_to(t);
    }
}

// ---------------------------------------------------------------------------------------------
// Interrupt controller

void Machine::irq_init() {
    for (int i = 0; i < kIrqSourceCount; ++i) {
        handlers_[i] = nullptr;
        enabled_[i] = false;
    }
    masked_ = false;
}

void Machine::irq_set_handler(int source, IsrHandler handler) {
    if (source >= 0 && source < kIrqSourceCount) handlers_[source] = handler;
}

void Machine::irq_enable(int source, bool on) {
    if (source < 0 || source >= kIrqSourceCount) return;
    enabled_[source] = on;
    if (on) deliver_interrupts();
}

uint32_t Machine::irq_save() {
    const uint32_t was = masked_ ? 1 : 0;
    masked_ = true;
    return was;
}

void Machine::irq_restore(uint32_t state) {
    masked_ = state != 0;
    deliver_interrupts();
}

bool Machine::source_asserted(int source) const {
    switch (source) {
        case kIrqTimer:
            return timer_event_;
        case kIrqCom0:
            return uart0_.irq_asserted();
        case kIrqCom1:
            return uart1_.irq_asserted();
        default:
            return false;
    }
}

int Machine::highest_pending() const {
    // The sources the board models, highest first; every other source never asserts.
    static constexpr int kModelled[] = {kIrqTimer, kIrqCom0, kIrqCom1};
    static_assert(kIrqTimer > kIrqCom0 && kIrqCom0 > kIrqCom1);
    for (const int s : kModelled) {
        if (enabled_[s] && source_asserted(s)) return s;
    }
    return -1;
}

bool Machine::deliver_interrupts() {
    if (masked_ || in_isr_) return false;
    for (int entries = 0;; ++entries) {
        const int source = highest_pending();
        if (source < 0) return entries > 0;
        if (!handlers_[source]) {
            char why[64];
            std::snprintf(why, sizeof why, "unhandled interrupt from source %d", source);
            link_.fatal(why);
        }
        if (entries >= kInterruptStormLimit) {
            char why[80];
            std::snprintf(why, sizeof why, "interrupt source %d stays asserted after its handler",
                          source);
            link_.fatal(why);
        }
        in_isr_ = true;
        handlers_[source]();
        in_isr_ = false;
    }
}

// ---------------------------------------------------------------------------------------------
// Timer

void Machine::timer_start(uint32_t compare) {
    if (compare == 0) compare = 1;
    timer_running_ = true;
    timer_event_ = false;
    timer_compare_ = compare;
    timer_period_ns_ = (uint64_t(compare) * 1'000'000'000ull + kTimerClockHz / 2) / kTimerClockHz;
    timer_period_start_ = now_;
    timer_next_ = now_ + timer_period_ns_;
}

void Machine::timer_stop() {
    timer_running_ = false;
    timer_next_ = kNever;
}

uint32_t Machine::timer_count() const {
    if (!timer_running_) return 0;
    const uint64_t counts = (now_ - timer_period_start_) * kTimerClockHz / 1'000'000'000ull;
    return uint32_t(counts % timer_compare_);
}

// ---------------------------------------------------------------------------------------------
// UART sink

void Machine::uart_byte_sent(int port, uint64_t t_ns, uint8_t byte) {
    link_.uart_output(port, t_ns, byte);
}

void Machine::uart_rate_changed(int port, uint64_t t_ns, uint32_t rate) {
    link_.event(t_ns, simlink::Event::kUartRate, (uint32_t(port) << 24) | (rate & 0xFFFFFF));
}

void Machine::wire_in(int port, uint64_t t_ns, const uint8_t* bytes, uint32_t count) {
    if (t_ns < now_) t_ns = now_;
    for (uint32_t i = 0; i < count; ++i) uart(port).wire_in(t_ns, bytes[i]);
}

// ---------------------------------------------------------------------------------------------
// GPIO and LCD

void Machine::gpio_write(Gpio line, bool high) {
    line_write(int(line), high);
}

void Machine::line_write(int i, bool high) {
    if (i < 0 || i >= simlink::kGpioLines) return;
    const uint8_t level = high ? 1 : 0;
    if (state_.gpio[i] == level) return;
    state_.gpio[i] = level;
    link_.event(now_, simlink::Event::kGpio, (uint32_t(i) << 8) | level);
}

bool Machine::gpio_read(Gpio line) const {
    const int i = int(line);
    return i >= 0 && i < simlink::kGpioLines && state_.gpio[i] != 0;
}

void Machine::lcd_configure(const LcdConfig& c) {
    lcdc_.configure(c);
    lcd_retime();
}

void Machine::lcd_retime() {
    const LcdGeometry g = lcdc_.geometry();
    auto& b = state_;
    b.lcd_width = uint16_t(g.width);
    b.lcd_height = uint16_t(g.height);
    b.lcd_htiming = lcdc_.read(kLcdcHorizontal / 4);
    b.lcd_vtiming = lcdc_.read(kLcdcVertical / 4);
    // A controller given no screen lines scans nothing, so it never reports a frame's end.
    frame_ns_ =
        g.width && g.height ? uint64_t(g.htot) * g.vtot * 1'000'000'000ull / kPixelClockHz : 0;
    frame_origin_ = now_;
    frames_seen_ = 0;
}

void Machine::lcd_clock(bool on) {
    auto& b = state_;
    if (b.lcd_clock == (on ? 1 : 0)) return;
    b.lcd_clock = on ? 1 : 0;
    frame_origin_ = now_;
    frames_seen_ = 0;
    link_.event(now_, simlink::Event::kLcdClock, on ? 1 : 0);
}

void Machine::lcd_signals(bool active) {
    auto& b = state_;
    if (b.lcd_signals == (active ? 1 : 0)) return;
    b.lcd_signals = active ? 1 : 0;
    link_.event(now_, simlink::Event::kLcdSignals, active ? 1 : 0);
}

void Machine::lcd_pwm(uint8_t width, bool enable, bool line_clock) {
    lcdc_.set_pwm(width, enable, line_clock);
    lcd_pwm_changed();
}

void Machine::lcd_pwm_changed() {
    auto& b = state_;
    const uint8_t width = lcdc_.pwm_width();
    const uint8_t en = lcdc_.pwm_enable() ? 1 : 0, lc = lcdc_.pwm_line_clock() ? 1 : 0;
    if (b.pwm_width == width && b.pwm_enable == en && b.pwm_line_clock == lc) return;
    b.pwm_width = width;
    b.pwm_enable = en;
    b.pwm_line_clock = lc;
    link_.event(now_, simlink::Event::kPwm, (uint32_t(en) << 9) | (uint32_t(lc) << 8) | width);
}

void Machine::audio_init() {
    tone_stop();
    audio_duty(0);
}

void Machine::tone_start(uint32_t compare) {
    // Restarting the timer with the compare value it already runs on leaves the wave as it is.
    if (state_.tone_on && state_.tone_compare == compare) return;
    state_.tone_on = 1;
    state_.tone_compare = compare;
    link_.event(now_, simlink::Event::kToneOn, compare);
}

void Machine::tone_stop() {
    if (!state_.tone_on) return;
    state_.tone_on = 0;
    link_.event(now_, simlink::Event::kToneOff, 0);
}

void Machine::audio_duty(uint32_t counts) {
    const uint8_t duty = uint8_t(counts > kAudioPwmPeriod ? kAudioPwmPeriod : counts);
    if (state_.audio_duty == duty) return;
    state_.audio_duty = duty;
    link_.event(now_, simlink::Event::kAudioDuty, duty);
}

// Frames are counted when the status is read rather than scheduled as events: nothing but this
// read observes them, and a tiny programmed frame would otherwise flood the event queue.
bool Machine::lcd_take_end_of_frame() {
    if (!state_.lcd_clock || frame_ns_ == 0) return false;
    const uint64_t frames = (now_ - frame_origin_) / frame_ns_;
    const bool ended = frames > frames_seen_;
    frames_seen_ = frames;
    return ended;
}

uint32_t Machine::register_read32(uint32_t offset) const {
    uint32_t index;
    if (offset >= kRegisterBlockSize || !LcdController::decode_offset(offset & ~3u, &index)) {
        return 0;
    }
    return lcdc_.read(index);
}

void Machine::register_write32(uint32_t offset, uint32_t value) {
    uint32_t index;
    if (offset >= kRegisterBlockSize || !LcdController::decode_offset(offset & ~3u, &index)) {
        return;
    }
    lcdc_.write(index, value);
    switch (index * 4) {
        case kLcdcSize:
        case kLcdcHorizontal:
        case kLcdcVertical:
            lcd_retime();
            break;
        case kLcdcPwm:
            lcd_pwm_changed();
            break;
        default:
            break;
    }
}

}  // namespace sim

// ---------------------------------------------------------------------------------------------
// EEPROM and SD card

namespace sim {

void Machine::attach_storage(uint8_t* eeprom, simlink::SdSlot* slot, simlink::Faults* faults) {
    eeprom_ = eeprom;
    slot_ = slot;
    faults_ = faults;
    sd_.attach_faults(faults);
    slot_generation_ = slot ? slot->generation - 1 : 0;
    apply_sd_slot();
}

void Machine::apply_sd_slot() {
    if (!slot_ || slot_->generation == slot_generation_) return;
    slot_generation_ = slot_->generation;
    char path[simlink::kSdPathMax + 1];
    std::memcpy(path, slot_->path, simlink::kSdPathMax);
    path[simlink::kSdPathMax] = 0;
    switch (slot_->kind) {
        case simlink::SdKind::kImage:
            sd_.insert_image(path);
            break;
        case simlink::SdKind::kFolder:
            sd_.insert_folder(path);
            break;
        default:
            sd_.remove();
            break;
    }
}

uint8_t Machine::eeprom_read(uint32_t address) {
    checkpoint(kEepromReadNs);
    return eeprom_ ? eeprom_[address & (simlink::kEepromBytes - 1)] : 0xFF;
}

void Machine::eeprom_write(uint32_t address, uint8_t value) {
    if (!eeprom_ || !powered_) return;
    address &= simlink::kEepromBytes - 1;
    if (faults_) {
        const uint64_t n = ++faults_->eeprom_writes;
        if (faults_->eeprom_cut_at && n == faults_->eeprom_cut_at) {
            if (faults_->eeprom_cut_stores) eeprom_[address] = value;
            faults_->eeprom_cut_at = 0;
            powered_ = false;
            link_.power_lost(now_);
            return;
        }
    }
    eeprom_[address] = value;
    checkpoint(kEepromWriteNs);
}

}  // namespace sim

// ---------------------------------------------------------------------------------------------
// Boot flash

namespace sim {

namespace {

// Offset in the window of a range of module addresses that lies wholly in it, or -1.
int64_t window_offset(uint32_t address, uint32_t length) {
    if (address < kFlash2Address || length > kFlash2Size) return -1;
    const uint32_t offset = address - kFlash2Address;
    return offset <= kFlash2Size - length ? int64_t(offset) : -1;
}

}  // namespace

bool Machine::flash_op_allowed() {
    if (!powered_) return false;
    if (!faults_) return true;
    const uint64_t n = ++faults_->flash_ops;
    if (!faults_->flash_cut_at || n != faults_->flash_cut_at) return true;
    faults_->flash_cut_at = 0;
    if (faults_->flash_cut_done) {
        flash_cut_pending_ = true;
        return true;
    }
    powered_ = false;
    link_.power_lost(now_);
    return false;
}

void Machine::flash_cut_after() {
    if (!flash_cut_pending_) return;
    flash_cut_pending_ = false;
    powered_ = false;
    link_.power_lost(now_);
}

void Machine::log_flash_op(simlink::FlashOp op, uint32_t offset, uint32_t length) {
    if (!flash_log_) return;
    simlink::FlashOpRecord& r =
        flash_log_->records[flash_log_->written % simlink::kFlashLogRecords];
    r.t_ns = now_;
    r.op = op;
    r.offset = offset;
    r.length = length;
    ++flash_log_->written;
}

int Machine::flash_erase_sector(uint32_t address) {
    const int64_t offset = window_offset(address, 1);
    if (offset < 0 || !flash2_) return 1;
    if (!flash_op_allowed()) return 2;
    if (!sim::flash_erase_sector(flash2_fd_, uint32_t(offset))) {
        link_.fatal("the Flash2 file cannot be written");
    }
    if (flash_cut_pending_) {
        flash_cut_after();
        return 2;
    }
    log_flash_op(simlink::FlashOp::kErase, uint32_t(offset) & ~(kFlash2SectorSize - 1),
                 kFlash2SectorSize);
    checkpoint(kFlashSectorEraseNs);
    return 0;
}

int Machine::flash_is_erased(uint32_t address, uint32_t length) const {
    const int64_t offset = window_offset(address, length);
    if (offset < 0 || !flash2_) return 0;
    const uint8_t* p = flash2_ + offset;
    for (uint32_t i = 0; i < length; ++i) {
        if (p[i] != 0xFF) return 0;
    }
    return 1;
}

int Machine::flash_write_block(uint32_t address, const uint8_t* data, uint32_t length) {
    const int64_t offset = window_offset(address, length);
    if (offset < 0 || !flash2_ || !data || (address | length) & 1) return 1;
    if (!flash_op_allowed()) return 2;
    if (!sim::flash_program(flash2_fd_, flash2_, uint32_t(offset), data, length)) {
        link_.fatal("the Flash2 file cannot be written");
    }
    if (flash_cut_pending_) {
        flash_cut_after();
        return 2;
    }
    log_flash_op(simlink::FlashOp::kProgram, uint32_t(offset), length);
    checkpoint(uint64_t(length / 2) * kFlashWordProgramNs);
    return 0;
}

int Machine::sd_init() {
    checkpoint(kSdCardInitNs);
    if (!powered_) return 0;
    return sd_.initialise() ? 1 : 0;
}

void Machine::sd_transfer_time(uint32_t bytes, bool write) {
    const uint64_t sectors = (uint64_t(bytes) + kSdSectorSize - 1) / kSdSectorSize;
    uint64_t per_sector = write ? kSdSectorWriteNs : kSdSectorReadNs;
    if (write && faults_) per_sector += faults_->sd_write_extra_ns;
    checkpoint(sectors * per_sector);
}

bool Machine::sd_read(uint32_t sector, uint8_t* data) {
    if (!powered_) return false;
    const bool ok = sd_.read(sector, data);
    sd_transfer_time(kSdSectorSize, false);
    return ok;
}

bool Machine::sd_write(uint32_t sector, const uint8_t* data) {
    if (!powered_) return false;
    const bool ok = sd_.write(sector, data);
    if (sd_.take_power_cut()) {
        powered_ = false;
        link_.power_lost(now_);
        return false;
    }
    sd_transfer_time(kSdSectorSize, true);
    return ok;
}

}  // namespace sim

// ---------------------------------------------------------------------------------------------
// Touch panel

namespace sim {

void Machine::attach_touch(simlink::TouchInput* in, simlink::TouchAdcLog* log) {
    touch_in_ = in;
    touch_log_ = log;
    touch_generation_ = in ? in->config_generation - 1 : 0;
    apply_touch();
}

void Machine::apply_touch() {
    if (!touch_in_) return;
    const simlink::TouchInput& in = *touch_in_;
    if (in.config_generation != touch_generation_) {
        touch_generation_ = in.config_generation;
        touch_.configure(in.config);
    }
    if (in.down) {
        touch_.press(in.x, in.y, in.pressure);
    } else {
        touch_.lift();
    }
}

void Machine::touch_exchange(const uint8_t* tx, uint8_t* rx, int length) {
    touch_adc_exchange(touch_, tx, rx, length, this);
}

void Machine::conversion(uint8_t control, uint16_t result) {
    if (!touch_log_) return;
    simlink::TouchAdcRecord& r =
        touch_log_->records[touch_log_->written % simlink::kTouchLogRecords];
    r.t_ns = now_;
    r.control = control;
    r.result = result;
    ++touch_log_->written;
}

}  // namespace sim
