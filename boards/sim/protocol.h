// The lockstep link between voxa-sim (the world, parent process) and one power-on of the
// simulated board (the firmware, child process).
//
// The parent owns the world clock. It grants the child the right to run until a virtual time
// ("run until T") together with the inputs that arrive before T; the child runs the firmware,
// delivering interrupts in virtual time, and when its next event lies beyond T it reports what
// it sent meanwhile and yields at exactly T. The frame buffer and the board's visible state live
// in a shared memory block, read by the parent while the child is yielded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace simlink {

// File descriptors the parent hands to the child (and the environment variable that marks a
// child started by voxa-sim).
constexpr int kLinkFd = 3;
constexpr int kSharedFd = 4;
constexpr int kEepromFd = 5;  // the 64 KB EEPROM, mapped shared so it outlives the child
// The Flash2 window's file: the window from offset 0, whole sectors, the rest of the window
// erased (see boards/sim/flash_window.h). The child maps it read-only at start-up and keeps it
// open: the board's erase and program operations write through it.
constexpr int kFlash2Fd = 6;
constexpr const char* kChildEnv = "VOXA_SIM_CHILD";

enum class Msg : uint32_t {
    // parent -> child
    kStart = 1,      // StartPayload: the first message, before any grant
    kGrant = 2,      // uint64 until_ns
    kUartInput = 3,  // uint64 t_ns, uint8 port, then the bytes put on the wire at t_ns
    // child -> parent
    kHello = 100,       // HelloPayload: the build that runs
    kYield = 101,       // uint64 now_ns: the grant is used up
    kUartOutput = 102,  // uint8 port, then {uint64 t_ns, uint8 byte} records
    kEvent = 103,       // EventRecord
    kReset = 104,       // uint64 t_ns: the firmware reset the processor; the child exits
    kFatal = 105,       // text: the simulated hardware stopped (unhandled interrupt, ...)
    kPowerLost = 106,   // uint64 t_ns: a fault injection cut the power; the child exits
};

struct Header {
    uint32_t type;
    uint32_t length;  // payload bytes after the header
};

constexpr uint32_t kMaxPayload = 1u << 20;

struct StartPayload {
    uint64_t start_ns;  // virtual time of this power-on
    uint32_t flags;
};

struct HelloPayload {
    char panel[8];  // "wvga", "svga" or "vga"
    uint16_t width;
    uint16_t height;
};

// Board outputs other than UART bytes, with the time they changed.
enum class Event : uint8_t {
    kGpio,        // value = line << 8 | level
    kPwm,         // value = enable << 9 | line_clock << 8 | pulse_width
    kLcdClock,    // value = on
    kLcdSignals,  // value = active
    kUartRate,    // value = port << 24 | rate in bits per second (rounded)
    kToneOn,      // value = compare value of the tone timer, now toggling the beeper output
    kToneOff,     // value = 0
    kAudioDuty,   // value = counts of the volume PWM's period the output is high
};

#pragma pack(push, 1)
struct EventRecord {
    uint64_t t_ns;
    uint8_t kind;
    uint32_t value;
};
struct OutputRecord {
    uint64_t t_ns;
    uint8_t byte;
};
#pragma pack(pop)

constexpr int kGpioLines = 16;
// Index in BoardState::gpio of com1's transmit-enable (RTS) output; the GPIO lines of the
// board contract take the indexes below it.
constexpr int kLineCom1TxEnable = 15;

// What the world can see of the board at any grant boundary.
struct BoardState {
    uint16_t lcd_width;  // as programmed by the firmware (0 before the LCD is configured)
    uint16_t lcd_height;
    uint32_t lcd_htiming;
    uint32_t lcd_vtiming;
    uint8_t lcd_clock;
    uint8_t lcd_signals;
    uint8_t pwm_width;
    uint8_t pwm_enable;
    uint8_t pwm_line_clock;
    uint8_t gpio[kGpioLines];
    uint8_t tone_on;  // the tone timer runs and drives the amplifier
    uint32_t tone_compare;
    uint8_t audio_duty;  // 0..kAudioPwmPeriod
};

// The SD card slot as the world set it up. The parent changes it only while the child is
// yielded and bumps generation; the child applies it when its next grant starts.
enum class SdKind : uint8_t { kNone, kImage, kFolder };
constexpr size_t kSdPathMax = 4096;
struct SdSlot {
    uint32_t generation;
    SdKind kind;
    char path[kSdPathMax];  // absolute path of the image file or the folder
};

// Fault injection, armed by the world and counted by the board. A count of 0 disarms.
struct Faults {
    // Power is cut during the Nth EEPROM byte write counted from arming (1-based); the byte
    // being written is stored or lost as eeprom_cut_stores says.
    uint64_t eeprom_cut_at;
    uint8_t eeprom_cut_stores;
    uint64_t eeprom_writes;
    // Sector reads / writes fail from the Nth one counted from arming onwards (1-based).
    uint64_t sd_read_fail_from;
    uint64_t sd_write_fail_from;
    uint64_t sd_reads;
    uint64_t sd_writes;
    // Power is cut after the Nth boot flash operation (a sector erase or a block program)
    // counted from arming (1-based); that operation is done or not as flash_cut_done says, and
    // nothing is stored after it.
    uint64_t flash_cut_at;
    uint8_t flash_cut_done;
    uint64_t flash_ops;
    // Power is cut during the Nth SD sector write counted from arming (1-based, counted in
    // sd_writes, which the failing writes above share); that sector is stored, lost or torn as
    // sd_cut_mode says (an SdCut value), and no transfer succeeds after it. Cards whose sectors
    // are an image only: a host folder has no sectors to tear.
    uint64_t sd_cut_at;
    uint8_t sd_cut_mode;
    // A slow card: every sector written keeps the card busy this much longer (ns).
    uint64_t sd_write_extra_ns;
};

// What a power cut during a sector write leaves of that sector.
enum class SdCut : uint8_t {
    kWritten,     // the card finished it
    kNotWritten,  // it still holds the old data
    kTorn,        // the first kSdTornBytes are new, the rest old
};
constexpr uint32_t kSdTornBytes = 256;

// The touch panel, simulated at its ADC. The raw readings are given as the firmware's 10-bit
// (first, second) pair: first follows the screen's x axis, second its y axis. They are fixed at
// four reference points 20 pixels in from the screen's corners (top-left, top-right,
// bottom-right, bottom-left), where the calibration targets lie, and bilinear in between.
struct TouchPanelConfig {
    int16_t corners[8];  // first, second at each reference point
    uint16_t width;      // the screen in pixels
    uint16_t height;
    uint8_t swap;         // 0: the Y channel measures first; 1: the X channel does
    uint16_t noise;       // largest error added to a position reading, raw units
    uint32_t seed;        // of the noise
    uint16_t pressure;    // of a touch given without one, in the firmware's units
    int16_t temperature;  // the board's, tenths of a degree Celsius
};

// The inverse of the calibration the firmware installs by default, on a width x height screen: an
// uncalibrated module reports the pixels touched.
inline TouchPanelConfig default_touch_panel(uint16_t width, uint16_t height) {
    TouchPanelConfig c{};
    const int16_t corners[8] = {850, 150, 150, 150, 150, 850, 850, 850};
    for (int i = 0; i < 8; ++i) c.corners[i] = corners[i];
    c.width = width;
    c.height = height;
    c.seed = 1;
    c.pressure = 400;     // inside the firmware's default window of accepted pressures
    c.temperature = 250;  // 25.0 degrees
    return c;
}

// The finger and the panel as the world set them. The parent changes them only while the child
// is yielded; the child takes them over when its next grant starts (the panel only when
// config_generation changed, as that restarts its noise).
struct TouchInput {
    uint32_t config_generation;
    TouchPanelConfig config;
    uint8_t down;
    int16_t x;
    int16_t y;
    uint16_t pressure;
};

// Every conversion of the touch ADC, written by the child: record n goes to
// records[n % kTouchLogRecords] and then written becomes n + 1.
struct TouchAdcRecord {
    uint64_t t_ns;
    uint8_t control;
    uint16_t result;  // 12 bits
};
constexpr uint32_t kTouchLogRecords = 16384;
struct TouchAdcLog {
    uint64_t written;
    TouchAdcRecord records[kTouchLogRecords];
};

// Every boot flash operation the board carried out, written by the child: record n goes to
// records[n % kFlashLogRecords] and then written becomes n + 1. Refused operations (outside the
// window, odd, after a power cut) are not recorded.
enum class FlashOp : uint8_t { kErase, kProgram };
struct FlashOpRecord {
    uint64_t t_ns;
    FlashOp op;
    uint32_t offset;  // in the window: of the sector erased, or of the first byte programmed
    uint32_t length;  // bytes programmed, or the sector size
};
constexpr uint32_t kFlashLogRecords = 1024;
struct FlashOpLog {
    uint64_t written;
    FlashOpRecord records[kFlashLogRecords];
};

constexpr uint32_t kSharedMagic = 0x34415856;  // "VXA4"
constexpr uint32_t kFrameBufferPixels = 800u * 600u;
constexpr uint32_t kEepromBytes = 0x10000;
constexpr uint32_t kFlash2Bytes = 0x1BC0000;      // 222 sectors
constexpr uint32_t kFlash2SectorBytes = 0x20000;  // 128 KB
// The capacity byte of the SPI data flash's identification on a new module (a 64 Mbit part).
constexpr uint8_t kDefaultDataFlashId = 0x17;

struct Shared {
    uint32_t magic;
    BoardState board;
    SdSlot sd;
    Faults faults;
    TouchInput touch;
    TouchAdcLog touch_log;
    FlashOpLog flash_log;
    // What the SPI data flash answers as the capacity byte of its identification; set by the
    // world before power-on.
    uint8_t dataflash_id;
    alignas(64) uint16_t framebuffer[kFrameBufferPixels];
};

}  // namespace simlink
