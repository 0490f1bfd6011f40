// The board contract: every hardware operation the firmware performs goes through this header.
//
// One implementation exists per board and is chosen at link time (boards/sim for the simulated
// module; a bare-metal i.MX21 board implements the same functions on its registers). The
// contract is deliberately narrow: it offers what the firmware's device services need (the
// interrupt controller, one millisecond timer, two UARTs, a handful of GPIO lines, the LCD
// controller and its backlight PWM, the I2C EEPROM, the SD card slot, reset) and nothing that
// smells of an operating system.
//
// Two calls exist only because the simulated board keeps virtual time: board_idle() and
// board_checkpoint(). On real hardware they are empty (or a wait-for-interrupt). The firmware
// calls board_idle() wherever it waits for hardware (a main-loop pass with nothing to do, every
// busy-wait) and board_checkpoint() after each unit of work (a command line), so that simulated
// time advances and interrupts are delivered at the points where real hardware could deliver
// them.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Interrupt controller

using IsrHandler = void (*)();

// Interrupt sources the firmware uses. The numbers are this contract's own; each board maps
// them to the lines of its interrupt controller. When several are pending at once, the higher
// number's handler runs first: the timebase, then com0, then com1.
constexpr int kIrqSourceCount = 64;
constexpr int kIrqCom1 = 0;
constexpr int kIrqCom0 = 1;
constexpr int kIrqTimer = 2;  // the 1 ms timebase

// Points every source at the default handler (which halts the system), disables all sources and
// enables interrupts globally.
void interrupt_init();
// Installs handler for source (0..63); an out-of-range source is ignored.
void interrupt_set_isr(int source, IsrHandler handler);
// Enables a source as a normal (fast == 0) or fast interrupt.
void interrupt_enable(int source, int fast);
void interrupt_disable(int source);

// Critical section for the main-loop side of counters shared with interrupt handlers.
// board_irq_save() masks all interrupts and returns the previous mask state for
// board_irq_restore(). Sections nest.
uint32_t board_irq_save();
void board_irq_restore(uint32_t state);

// RAII form of the critical section.
class IrqGuard {
  public:
    IrqGuard() : state_(board_irq_save()) {}
    ~IrqGuard() { board_irq_restore(state_); }
    IrqGuard(const IrqGuard&) = delete;
    IrqGuard& operator=(const IrqGuard&) = delete;

  private:
    uint32_t state_;
};

// ---------------------------------------------------------------------------------------------
// Waiting and work

// The processor has nothing to do until the next interrupt. Returns after interrupts that became
// due have been handled (possibly none on real hardware, where this is a plain poll point).
void board_idle();

// Like board_idle(), for a caller that polls a counter and knows it has at most max_ns
// nanoseconds left to wait: returns no later than that, even if no interrupt became due.
void board_idle_for(uint32_t max_ns);

// Kinds of work whose cost the simulated board models in virtual time.
enum class Work : uint8_t {
    kCommandLine,  // one command line interpreted (from the host, a macro or an animation)
    kMacroLine,    // one stored macro line looked at by the macro runner (run or skipped)
    kPixels,       // amount = pixels written by a drawing operation
};

// The firmware has just finished a unit of work; the simulated board lets its modelled duration
// pass and delivers the interrupts due meanwhile. Empty on real hardware.
void board_checkpoint(Work kind, uint32_t amount = 1);

// ---------------------------------------------------------------------------------------------
// Millisecond timer (general-purpose timer with compare interrupt on kIrqTimer)

constexpr uint32_t kTimerClockHz = 16625000;  // counter clock, prescaler 1

// Resets the timer and starts it counting from 0 to compare in restart mode, raising the
// compare event at each restart. The interrupt source is enabled separately.
void board_timer_start(uint32_t compare);
void board_timer_stop();
// The free-running counter (0..compare).
uint32_t board_timer_count();
// Acknowledges the compare event; an unacknowledged event keeps the interrupt asserted.
void board_timer_ack();

// ---------------------------------------------------------------------------------------------
// UARTs

constexpr int kCom0 = 0;  // first UART
constexpr int kCom1 = 1;  // second UART, with the RS-485 transmit-enable output
constexpr int kUartCount = 2;

// Resets the UART: 8 data bits, no parity, 1 stop bit, no hardware handshake, FIFOs empty,
// all of its interrupts disabled.
void uart_init(int port);
// Sets the line's rate in bit/s. The board programs the rate its UART makes nearest to it: the
// module's own UARTs divide a 16.62 MHz reference by a fractional divider and run a little off
// the nominal rates (115197 bit/s for 115200), and the simulated board models that same rate.
void uart_set_rate(int port, uint32_t bits_per_second);

// The interrupt source of a port.
int uart_irq_source(int port);

// Receive side: a byte is waiting in the receive FIFO.
bool uart_rx_ready(int port);
uint8_t uart_rx_read(int port);

// Transmit side: the transmit FIFO can take another byte; the transmitter has finished
// (FIFO empty and the last stop bit sent).
bool uart_tx_ready(int port);
void uart_tx_write(int port, uint8_t byte);
bool uart_tx_complete(int port);

// Interrupt enables: receive data ready, transmitter ready, transmission complete.
void uart_rx_irq(int port, bool enable);
void uart_tx_irq(int port, bool enable);
void uart_txc_irq(int port, bool enable);

// com1's RTS pin used as a plain output: high switches the RS-485 driver on.
void uart_com1_tx_enable(bool high);

// ---------------------------------------------------------------------------------------------
// GPIO lines

enum class Gpio : uint8_t {
    kPanelPower,      // low = panel supply on
    kInverterEnable,  // backlight inverter; polarity is a setting
    kLcdBuffers,      // low = LCD signal buffers enabled
    kVqSelect,        // 0 for a 320-pixel-wide panel, 1 otherwise
    kOrient0,         // scan direction bit 0
    kOrient1,         // scan direction bit 1
    kSpeakerSelect,   // low = external speaker
    kActivityLed,     // high = on
    kSdLed,           // high = on
    kPanelControl,    // extra control line of the WVGA panel, high while the LCD lines are low
    kCount
};

void gpio_write(Gpio line, bool high);
bool gpio_read(Gpio line);

// ---------------------------------------------------------------------------------------------
// Touch-screen ADC (4-wire resistive panel) on its own SPI port, and its pen-down line

// The longest exchange the firmware makes with chip select held: a "double" read is a control
// byte, a second control byte and two answer bytes.
constexpr int kTouchSpiMaxExchange = 8;

// Resets and configures the ADC's SPI port, its chip-select line (idle high) and the pen-down
// input.
void InitTouch();
// One exchange with chip select held low throughout: length bytes of tx are clocked out while
// the ADC's answers are clocked into rx (which may be tx itself). A byte with bit 7 set is a
// control byte and starts a conversion; the two bytes clocked after it carry its 12-bit result
// as (first << 5) + (second >> 3), also when the second of them is itself a control byte (the
// "double" read). Bytes after those two, and answers before any control byte, read 0. Lengths
// outside 1..kTouchSpiMaxExchange do nothing.
void touch_spi_exchange(const uint8_t* tx, uint8_t* rx, int length);
// 1 while the screen is touched (the pen-down line is low), else 0.
int GetPenState();

// ---------------------------------------------------------------------------------------------
// LCD controller

// The frame buffer: width x height 16-bit RGB565 pixels, row after row, at a fixed address.
// Large enough for the largest panel (800 x 600); the firmware uses the part its panel needs.
uint16_t* lcd_framebuffer();
constexpr uint32_t kFrameBufferMaxPixels = 800u * 600u;

struct LcdConfig {
    uint16_t width;
    uint16_t height;
    // The sync pulses and porches: horizontal ones in pixel clocks, vertical ones in lines.
    uint16_t hsync_width;
    uint16_t h_front_porch;
    uint16_t h_back_porch;
    uint16_t vsync_width;
    uint16_t v_front_porch;
    uint16_t v_back_porch;
    bool shift_clock_inverted;
};
// Programs geometry and timing; the pixel clock is 26 MHz.
void lcd_configure(const LcdConfig& config);
// Clock of the controller (the panel is scanned only while it runs).
void lcd_clock_enable(bool on);
// LCD interface lines: false drives them low (before the panel is powered), true hands them to
// the controller.
void lcd_signals_active(bool active);
// Contrast/PWM control word: pulse-width field, output enable, clock from the line clock (true)
// or from the pixel clock (false).
void lcd_pwm_set(uint8_t pulse_width, bool enable, bool line_clock);
// End-of-frame status: true once after each completed frame (reading clears it).
bool lcd_end_of_frame();

// ---------------------------------------------------------------------------------------------
// Beeper: a tone timer toggling the beeper output, and a PWM setting its loudness

// The tone timer's clock. In toggle mode the output flips at every compare match, so a compare
// value c gives a square wave of kToneClockHz / (2 x (c + 1)) Hz.
constexpr uint32_t kToneClockHz = 16666666;
// Counts in one period of the volume PWM.
constexpr uint32_t kAudioPwmPeriod = 102;

// Starts the volume PWM (kAudioPwmPeriod counts, duty 0) and stops the tone timer.
void audio_init();
// Restarts the tone timer in toggle mode with this compare value and routes its output to the
// amplifier.
void tone_start(uint32_t compare);
// Stops the tone timer and takes it off the amplifier.
void tone_stop();
// Counts of the PWM period the output is high (values above the period are the whole period).
void audio_pwm_duty(uint32_t counts);

// ---------------------------------------------------------------------------------------------
// Peripheral registers, for the diagnostic peek and poke commands

// The processor's peripheral register block; the LCD controller's registers are part of it (the
// board's README lists their offsets). A 32-bit access uses the offset rounded down to a multiple
// of 4, a 16-bit read rounded down to a multiple of 2 (the low half of a register first).
// Offsets at or beyond kRegisterBlockSize, and offsets where the board has no register, read 0
// and ignore writes: no offset reaches memory outside the block.
constexpr uint32_t kRegisterBlockBase = 0x10000000;
constexpr uint32_t kRegisterBlockSize = 0x40000;
uint32_t register_read32(uint32_t offset);
uint16_t register_read16(uint32_t offset);
void register_write32(uint32_t offset, uint32_t value);

// ---------------------------------------------------------------------------------------------
// I2C EEPROM (64 KB, device address 0xA0)

constexpr uint32_t kEepromSize = 0x10000;

// Enables the I2C controller.
void InitI2C();
// Stores value at address (low 16 bits used); returns once the device has finished its write
// cycle, so the byte is stored when the call returns. Errors are not reported.
void EEpromWrite(uint32_t address, uint8_t value);
// The byte at address (low 16 bits used). Errors are not reported.
uint8_t EEpromRead(uint32_t address);

// ---------------------------------------------------------------------------------------------
// Boot flash: the Flash2 window, where a bitmap/macro file is kept and used in place

// 222 sectors of 128 KB at a fixed address of the parallel NOR flash. Unprogrammed bytes read
// 0xFF.
constexpr uint32_t kFlash2Address = 0xC8400000;
constexpr uint32_t kFlash2Size = 0x1BC0000;
constexpr uint32_t kFlash2SectorSize = 0x20000;

// The window, readable in place: kFlash2Size bytes (kFlash2Address on the module). The
// firmware never stores through this pointer; the operations below change what it reads.
const uint8_t* flash2_window();

// The operations below take module addresses (kFlash2Address + offset) and act only inside the
// window: the firmware image below kFlash2Address can never be erased or programmed through
// them. Each busy-waits until the device has finished, so what it did reads back through
// flash2_window() when it returns. They are called from the main loop only, never from an
// interrupt handler.

// Erases the whole 128 KB sector that holds address: all of its bytes then read 0xFF. Returns
// 0 when done; non-zero, with nothing erased, for an address outside the window.
int FlashEraseSector(uint32_t address);
// 1 when every one of the length bytes from address reads 0xFF (also for length 0); 0 when one
// does not, or when the range does not lie wholly in the window.
int FlashIsErased(uint32_t address, uint32_t length);
// Programs length bytes from data at address in 16-bit units. NOR programming only clears
// bits: each byte becomes what it read AND the new byte, so the range must be erased
// beforehand to read back as data. Returns 0 when done; non-zero, with nothing programmed, when
// the request is refused: data null, address or length odd, or the range not wholly in the
// window.
int FlashWriteBlock(uint32_t address, const uint8_t* data, uint32_t length);

// The firmware's own image at the bottom of the boot flash: the boot area (the loader) and the
// program area after it. Nothing in the firmware erases or programs them; they are read in place
// only for their check values. Each pointer addresses the whole area (kBootAreaSize and
// kProgramAreaSize bytes).
constexpr uint32_t kBootAreaSize = 0x20000;
constexpr uint32_t kProgramAreaSize = 0x3E0000;
const uint8_t* boot_area();
const uint8_t* program_area();

// ---------------------------------------------------------------------------------------------
// SPI data flash (holds no data of this firmware)

// The capacity byte (the third byte) of the device's identification, command 0x9F: 0x17 for a
// 64 Mbit part with 128 KB sectors, 0x18 for 128 Mbit with 256 KB sectors.
uint8_t ReadSerialFlashID();

// ---------------------------------------------------------------------------------------------
// SD card slot: card detect and the card as a block device of 512-byte sectors

constexpr uint32_t kSdSectorSize = 512;

// Configures the slot's pins and switches the card's supply on.
void SDCardSlotInit();
// The card-detect switch as it reads now (true = a card sits in the slot); not debounced.
bool sd_card_detect();
// Brings the card up (reset, identification, bus width, block length). 1 when the card is ready
// for transfers, 0 when there is no card or it does not answer.
int sd_card_init();
// Number of 512-byte sectors of the ready card (0 without one).
uint32_t sd_card_sectors();
// Transfers one sector. 1 on success, 0 on failure (the host status then tells why).
int sd_read_sector(uint32_t sector, uint8_t* data);
int sd_write_sector(uint32_t sector, const uint8_t* data);

// Error bits of the SD host controller's status after the last transfer.
constexpr uint32_t kSdStatusReadTimeout = 1u << 0;
constexpr uint32_t kSdStatusResponseTimeout = 1u << 1;
constexpr uint32_t kSdStatusWriteCrc = 1u << 2;
constexpr uint32_t kSdStatusReadCrc = 1u << 3;
constexpr uint32_t kSdStatusResponseCrc = 1u << 5;
constexpr int kSdStatusWriteCrcCodeShift = 9;  // two-bit CRC status returned by the card
constexpr uint32_t kSdStatusWriteCrcCodeMask = 3u << kSdStatusWriteCrcCodeShift;
uint32_t sd_host_status();

// A board may show the card through a file system of its own instead of a block device (the
// simulated board does this for a host folder): while such a card is in the slot,
// board_fs_driver() returns its operations, whose interface the file layer defines
// (fs/fs_driver.h); otherwise, and on a board without one, it returns null.
struct BoardFsDriver;
const BoardFsDriver* board_fs_driver();

// ---------------------------------------------------------------------------------------------
// Reset

// Restarts the processor as a hardware reset does. Never returns.
[[noreturn]] void reset_cpu();
