// board.h on the simulated board: every operation is forwarded to the machine of this process.
#include "device/board.h"

#include "cost_model.h"
#include "firmware_image.h"
#include "host_folder.h"
#include "machine.h"

using sim::machine;

void interrupt_init() {
    machine().irq_init();
}
void interrupt_set_isr(int source, IsrHandler handler) {
    machine().irq_set_handler(source, handler);
}
void interrupt_enable(int source, int) {
    machine().irq_enable(source, true);
}
void interrupt_disable(int source) {
    machine().irq_enable(source, false);
}
uint32_t board_irq_save() {
    return machine().irq_save();
}
void board_irq_restore(uint32_t state) {
    machine().irq_restore(state);
}

void board_idle() {
    machine().idle(sim::Machine::kNever);
}
void board_idle_for(uint32_t max_ns) {
    machine().idle(max_ns);
}
void board_checkpoint(Work kind, uint32_t amount) {
    machine().checkpoint(sim::work_cost_ns(kind, amount));
}

void board_timer_start(uint32_t compare) {
    machine().timer_start(compare);
}
void board_timer_stop() {
    machine().timer_stop();
}
uint32_t board_timer_count() {
    return machine().timer_count();
}
void board_timer_ack() {
    machine().timer_ack();
}

namespace {
bool valid_port(int port) {
    return port == kCom0 || port == kCom1;
}
}  // namespace

void uart_init(int port) {
    if (valid_port(port)) machine().uart(port).init(machine().now());
}
void uart_set_rate(int port, uint32_t bits_per_second) {
    if (valid_port(port)) machine().uart(port).set_rate(machine().now(), bits_per_second);
}
int uart_irq_source(int port) {
    return port == kCom1 ? kIrqCom1 : kIrqCom0;
}
bool uart_rx_ready(int port) {
    return valid_port(port) && machine().uart(port).rx_ready();
}
uint8_t uart_rx_read(int port) {
    return valid_port(port) ? machine().uart(port).rx_read() : 0;
}
bool uart_tx_ready(int port) {
    return valid_port(port) && machine().uart(port).tx_ready();
}
void uart_tx_write(int port, uint8_t byte) {
    if (valid_port(port)) machine().uart(port).tx_write(machine().now(), byte);
}
bool uart_tx_complete(int port) {
    return valid_port(port) && machine().uart(port).tx_complete();
}

// Enabling an interrupt whose condition already holds interrupts the processor at once.
void uart_rx_irq(int port, bool enable) {
    if (!valid_port(port)) return;
    machine().uart(port).set_rx_irq(enable);
    if (enable) machine().deliver_interrupts();
}
void uart_tx_irq(int port, bool enable) {
    if (!valid_port(port)) return;
    machine().uart(port).set_tx_irq(enable);
    if (enable) machine().deliver_interrupts();
}
void uart_txc_irq(int port, bool enable) {
    if (!valid_port(port)) return;
    machine().uart(port).set_txc_irq(enable);
    if (enable) machine().deliver_interrupts();
}
void uart_com1_tx_enable(bool high) {
    machine().line_write(simlink::kLineCom1TxEnable, high);
}

void gpio_write(Gpio line, bool high) {
    machine().gpio_write(line, high);
}
bool gpio_read(Gpio line) {
    return machine().gpio_read(line);
}

// The ADC's port needs no set-up of its own in the simulation.
void InitTouch() {}
void touch_spi_exchange(const uint8_t* tx, uint8_t* rx, int length) {
    if (length < 1 || length > kTouchSpiMaxExchange) return;
    machine().touch_exchange(tx, rx, length);
}
int GetPenState() {
    return machine().touch_panel().touched() ? 1 : 0;
}

uint16_t* lcd_framebuffer() {
    return machine().framebuffer();
}
void lcd_configure(const LcdConfig& config) {
    machine().lcd_configure(config);
}
void lcd_clock_enable(bool on) {
    machine().lcd_clock(on);
}
void lcd_signals_active(bool active) {
    machine().lcd_signals(active);
}
void lcd_pwm_set(uint8_t pulse_width, bool enable, bool line_clock) {
    machine().lcd_pwm(pulse_width, enable, line_clock);
}
bool lcd_end_of_frame() {
    return machine().lcd_take_end_of_frame();
}

void audio_init() {
    machine().audio_init();
}
void tone_start(uint32_t compare) {
    machine().tone_start(compare);
}
void tone_stop() {
    machine().tone_stop();
}
void audio_pwm_duty(uint32_t counts) {
    machine().audio_duty(counts);
}
uint32_t register_read32(uint32_t offset) {
    return machine().register_read32(offset);
}
uint16_t register_read16(uint32_t offset) {
    const uint32_t word = machine().register_read32(offset);
    return uint16_t((offset & 2) ? word >> 16 : word);
}
void register_write32(uint32_t offset, uint32_t value) {
    machine().register_write32(offset, value);
}

// The I2C controller needs no set-up of its own in the simulation; the EEPROM is always there.
void InitI2C() {}
void EEpromWrite(uint32_t address, uint8_t value) {
    machine().eeprom_write(address, value);
}
uint8_t EEpromRead(uint32_t address) {
    return machine().eeprom_read(address);
}

const uint8_t* flash2_window() {
    const uint8_t* window = machine().flash2_window();
    if (!window) machine().link().fatal("the Flash2 window is not mapped");
    return window;
}

int FlashEraseSector(uint32_t address) {
    return machine().flash_erase_sector(address);
}
int FlashIsErased(uint32_t address, uint32_t length) {
    return machine().flash_is_erased(address, length);
}
int FlashWriteBlock(uint32_t address, const uint8_t* data, uint32_t length) {
    return machine().flash_write_block(address, data, length);
}

namespace {

// Filled on first use: most runs never read them.
uint8_t bootArea[kBootAreaSize];
uint8_t programArea[kProgramAreaSize];

const uint8_t* firmware_area(sim::FirmwareArea area, uint8_t* bytes, uint32_t size, bool& filled) {
    if (!filled) {
        sim::fill_firmware_area(area, bytes, size);
        filled = true;
    }
    return bytes;
}

}  // namespace

const uint8_t* boot_area() {
    static bool filled;
    return firmware_area(sim::FirmwareArea::kBoot, bootArea, kBootAreaSize, filled);
}
const uint8_t* program_area() {
    static bool filled;
    return firmware_area(sim::FirmwareArea::kProgram, programArea, kProgramAreaSize, filled);
}

uint8_t ReadSerialFlashID() {
    return machine().dataflash_id();
}

void SDCardSlotInit() {}
bool sd_card_detect() {
    return machine().sd().present();
}
int sd_card_init() {
    return machine().sd_init();
}
uint32_t sd_card_sectors() {
    auto& card = machine().sd();
    return card.kind() == simlink::SdKind::kImage && card.initialised() ? card.sectors() : 0;
}
int sd_read_sector(uint32_t sector, uint8_t* data) {
    return machine().sd_read(sector, data) ? 1 : 0;
}
int sd_write_sector(uint32_t sector, const uint8_t* data) {
    return machine().sd_write(sector, data) ? 1 : 0;
}
uint32_t sd_host_status() {
    return machine().sd().status();
}
const BoardFsDriver* board_fs_driver() {
    auto& card = machine().sd();
    return card.kind() == simlink::SdKind::kFolder && card.initialised()
               ? &sim::host_folder_driver()
               : nullptr;
}

void reset_cpu() {
    machine().link().reset(machine().now());
    __builtin_unreachable();
}
