// The boot flash's Flash2 window: erase and program through the JEDEC/AMD command set of the
// 16-bit NOR device on chip select 0.
//
// The firmware runs in place from the same device. While it erases or programs, the device
// answers every read with status instead of array data, so an instruction fetch from it would
// fetch garbage: the routines that issue commands and poll for the end live in .ramfunc, which
// the start-up copies to SDRAM together with .data, and run with interrupts masked (the vectors
// and every handler are in the flash too). Nothing they do may call back into the flash: they
// use only register helpers that inline, and they are long calls because SDRAM is out of reach
// of a branch from the flash.
//
// A sector erase lasts up to seconds, far longer than the 1 ms tick or the UART FIFOs can wait.
// When an interrupt becomes pending the erase is suspended (the rest of the device reads array
// data meanwhile, so the handlers can run from it), interrupts are let in, and the erase is
// resumed. Programming goes in short steps, with interrupts let in between them.
#include "device/board.h"
#include "imx21.h"

#define VOXA_RAMFUNC __attribute__((section(".ramfunc"), long_call, noinline))

namespace {

constexpr uint32_t kDeviceBase = 0xC8000000;

// Command addresses are word addresses on the 16-bit bus: byte offset = 2 x word address.
constexpr uint32_t kUnlockAddress1 = kDeviceBase + 2 * 0x555;
constexpr uint32_t kUnlockAddress2 = kDeviceBase + 2 * 0x2AA;
constexpr uint16_t kUnlockData1 = 0xAA;
constexpr uint16_t kUnlockData2 = 0x55;
constexpr uint16_t kEraseSetup = 0x80;
constexpr uint16_t kSectorErase = 0x30;
constexpr uint16_t kEraseSuspend = 0xB0;
constexpr uint16_t kEraseResume = 0x30;
constexpr uint16_t kUnlockBypass = 0x20;
constexpr uint16_t kProgram = 0xA0;
constexpr uint16_t kBypassResetSetup = 0x90;
constexpr uint16_t kBypassResetConfirm = 0x00;
constexpr uint16_t kReadReset = 0xF0;

// Status bits while an operation runs.
constexpr uint16_t kDq7 = 1u << 7;  // data polling: the complement of the data until done
constexpr uint16_t kDq6 = 1u << 6;  // toggles on every read while busy
constexpr uint16_t kDq5 = 1u << 5;  // the device's own time limit was exceeded

// Bounds far beyond the device's worst case (a sector erase takes up to a few seconds, a word
// program a few hundred microseconds), only there so that a dead device cannot hang the loop.
constexpr uint32_t kErasePolls = 400000000;
constexpr uint32_t kProgramPolls = 2000000;
// The device suspends within some tens of microseconds.
constexpr uint32_t kSuspendPolls = 100000;
constexpr uint32_t kLetInPolls = 100000;
// Words programmed with interrupts masked: a word takes up to a few hundred microseconds in the
// worst case, so a step stays well inside the tick and a UART's receive FIFO.
constexpr uint32_t kWordsPerStep = 4;

enum Result : int { kDone = 0, kRefused = 1, kDeviceError = 2 };
enum class Erase : uint8_t { kDone, kFailed, kSuspended };

// The interrupt controller's pending normal and fast sources (after their enables).
constexpr uint32_t kAitcNipndh = imx21::kAitcBase + 0x58;
constexpr uint32_t kAitcNipndl = imx21::kAitcBase + 0x5C;
constexpr uint32_t kAitcFipndh = imx21::kAitcBase + 0x60;
constexpr uint32_t kAitcFipndl = imx21::kAitcBase + 0x64;

IMX21_INLINE void poke(uint32_t address, uint16_t value) {
    imx21::write16(address, value);
}
IMX21_INLINE uint16_t peek(uint32_t address) {
    return imx21::read16(address);
}

IMX21_INLINE void unlock() {
    poke(kUnlockAddress1, kUnlockData1);
    poke(kUnlockAddress2, kUnlockData2);
}

// The toggle-bit algorithm: done when two reads agree; failed when the device flags its time
// limit and still toggles on the reads after it.
VOXA_RAMFUNC bool wait_ready(uint32_t address, uint32_t polls) {
    for (uint32_t i = 0; i < polls; ++i) {
        const uint16_t a = peek(address);
        const uint16_t b = peek(address);
        if (((a ^ b) & kDq6) == 0) return true;
        if (b & kDq5) {
            const uint16_t c = peek(address);
            const uint16_t d = peek(address);
            if (((c ^ d) & kDq6) == 0) return true;
            poke(address, kReadReset);
            return false;
        }
    }
    poke(address, kReadReset);
    return false;
}

IMX21_INLINE bool interrupt_pending() {
    return (imx21::read32(kAitcNipndh) | imx21::read32(kAitcNipndl) | imx21::read32(kAitcFipndh) |
            imx21::read32(kAitcFipndl)) != 0;
}

IMX21_INLINE bool toggling(uint32_t address) {
    const uint16_t a = peek(address);
    const uint16_t b = peek(address);
    return ((a ^ b) & kDq6) != 0;
}

// Starts (or resumes) the erase and polls until it ends or, when may_suspend, until an interrupt
// is pending; polls counts down the time the erase may still take.
VOXA_RAMFUNC Erase erase_sector(uint32_t sector, bool resume, bool may_suspend, uint32_t* polls) {
    if (resume) {
        poke(sector, kEraseResume);
    } else {
        unlock();
        poke(kUnlockAddress1, kEraseSetup);
        unlock();
        poke(sector, kSectorErase);
    }
    for (; *polls > 0; --*polls) {
        if (!toggling(sector)) return Erase::kDone;
        if (peek(sector) & kDq5) return wait_ready(sector, 1) ? Erase::kDone : Erase::kFailed;
        if (may_suspend && interrupt_pending()) {
            poke(sector, kEraseSuspend);
            for (uint32_t i = 0; i < kSuspendPolls && toggling(sector); ++i) {}
            return Erase::kSuspended;
        }
    }
    poke(sector, kReadReset);
    return Erase::kFailed;
}

// Programs count words; each word is the old content AND the new data, since programming can
// only clear bits and a word asked to set one would never pass the status check. The source is
// read byte by byte (it need not be aligned) while the device is idle between two words.
VOXA_RAMFUNC bool program_words(uint32_t address, const uint8_t* data, uint32_t count) {
    bool ok = true;
    unlock();
    poke(kUnlockAddress1, kUnlockBypass);
    for (uint32_t i = 0; i < count && ok; ++i, address += 2, data += 2) {
        const uint16_t wanted = uint16_t(data[0] | (data[1] << 8));
        const uint16_t old = peek(address);
        const uint16_t value = uint16_t(old & wanted);
        if (value == old) continue;
        poke(address, kProgram);
        poke(address, value);
        ok = wait_ready(address, kProgramPolls) && peek(address) == value;
    }
    poke(kDeviceBase, kBypassResetSetup);
    poke(kDeviceBase, kBypassResetConfirm);
    return ok;
}

// An empty range at the window's end lies in it, as one anywhere inside does.
bool in_window(uint32_t address, uint32_t length) {
    return address >= kFlash2Address && length <= kFlash2Size &&
           address - kFlash2Address <= kFlash2Size - length;
}

}  // namespace

const uint8_t* flash2_window() {
    return reinterpret_cast<const uint8_t*>(kFlash2Address);
}

int FlashEraseSector(uint32_t address) {
    if (!in_window(address, 1)) return kRefused;
    const uint32_t sector = address & ~(kFlash2SectorSize - 1);
    uint32_t polls = kErasePolls;
    uint32_t state = board_irq_save();
    // Suspending for an interrupt the caller keeps masked would never make progress.
    const bool maySuspend = state == 0;
    Erase e = erase_sector(sector, false, maySuspend, &polls);
    while (e == Erase::kSuspended) {
        // The pending handlers run here, from the flash. Waiting until the controller has
        // nothing pending makes sure they did before the erase goes on.
        board_irq_restore(state);
        for (uint32_t i = 0; i < kLetInPolls && interrupt_pending(); ++i) {}
        state = board_irq_save();
        e = erase_sector(sector, true, maySuspend, &polls);
    }
    board_irq_restore(state);
    return e == Erase::kDone ? kDone : kDeviceError;
}

int FlashIsErased(uint32_t address, uint32_t length) {
    if (!in_window(address, length)) return 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(address);
    for (uint32_t i = 0; i < length; ++i)
        if (p[i] != 0xFF) return 0;
    return 1;
}

int FlashWriteBlock(uint32_t address, const uint8_t* data, uint32_t length) {
    if (!data || (address & 1) || (length & 1) || !in_window(address, length)) return kRefused;
    while (length) {
        const uint32_t words = length / 2 < kWordsPerStep ? length / 2 : kWordsPerStep;
        const uint32_t state = board_irq_save();
        const bool ok = program_words(address, data, words);
        board_irq_restore(state);
        if (!ok) return kDeviceError;
        address += 2 * words;
        data += 2 * words;
        length -= 2 * words;
    }
    return kDone;
}

const uint8_t* boot_area() {
    return reinterpret_cast<const uint8_t*>(kDeviceBase);
}

const uint8_t* program_area() {
    return reinterpret_cast<const uint8_t*>(kDeviceBase + kBootAreaSize);
}
