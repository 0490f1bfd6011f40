// The contract's SD card slot on the PL181, polled: one 512-byte sector per transfer, standard
// and high-capacity cards.
#include "pl181_mmc.h"

#include "device/board.h"
#include "mmio.h"
#include "system_controller.h"

namespace {

using namespace qemu;

// SD commands
constexpr uint32_t kGoIdle = 0;
constexpr uint32_t kAllSendCid = 2;
constexpr uint32_t kSendRelativeAddress = 3;
constexpr uint32_t kSelectCard = 7;
constexpr uint32_t kSendIfCond = 8;
constexpr uint32_t kSendCsd = 9;
constexpr uint32_t kSendStatus = 13;
constexpr uint32_t kSetBlockLength = 16;
constexpr uint32_t kReadSingleBlock = 17;
constexpr uint32_t kWriteBlock = 24;
constexpr uint32_t kAppCommand = 55;
constexpr uint32_t kAppSetBusWidth = 6;
constexpr uint32_t kAppSendOpCond = 41;

constexpr uint32_t kIfCondArgument = 0x1AA;  // 2.7-3.6 V, check pattern 0xAA
constexpr uint32_t kOcrVoltages = 0x00FF8000;
constexpr uint32_t kOcrHighCapacity = 1u << 30;
constexpr uint32_t kOcrReady = 1u << 31;
constexpr uint32_t kCardStateShift = 9;
constexpr uint32_t kCardStateMask = 0xF;
constexpr uint32_t kCardStateTransfer = 4;

constexpr int kSectorWords = kSdSectorSize / 4;
constexpr int kBlockSizeLog2 = 9;
// Polls of a status register before a transfer is given up (QEMU answers at once; a real
// controller would be far inside this).
constexpr uint32_t kPollLimit = 1000000;
constexpr int kOpCondTries = 1000;

enum class Response { kNone, kShort, kShortNoCrc, kLong };

bool ready;
bool card_answered;  // see probe_slot
bool high_capacity;
uint32_t rca;
uint32_t sectors;
uint32_t host_status;

void note_command_errors(uint32_t status) {
    if (status & mmci::kStatusCmdTimeOut) host_status |= kSdStatusResponseTimeout;
    if (status & mmci::kStatusCmdCrcFail) host_status |= kSdStatusResponseCrc;
}

// Sends a command and waits for it; true when the card answered as expected.
bool command(uint32_t index, uint32_t argument, Response response) {
    write32(mmci::kClear, mmci::kStatusStaticFlags);
    write32(mmci::kArgument, argument);
    uint32_t flags = mmci::kCommandEnable;
    if (response != Response::kNone) flags |= mmci::kCommandResponse;
    if (response == Response::kLong) flags |= mmci::kCommandLongResponse;
    write32(mmci::kCommand, index | flags);

    const uint32_t done =
        response == Response::kNone
            ? mmci::kStatusCmdSent
            : mmci::kStatusCmdRespEnd | mmci::kStatusCmdTimeOut | mmci::kStatusCmdCrcFail;
    uint32_t status = 0;
    for (uint32_t i = 0; i < kPollLimit; ++i) {
        status = read32(mmci::kStatus);
        if (status & done) break;
    }
    write32(mmci::kClear, mmci::kStatusStaticFlags);
    if (response == Response::kNone) return (status & mmci::kStatusCmdSent) != 0;
    // An R3 answer carries no CRC: a controller checking it reports a failure that is none.
    if (response == Response::kShortNoCrc && (status & mmci::kStatusCmdCrcFail)) return true;
    note_command_errors(status);
    return (status & mmci::kStatusCmdRespEnd) != 0;
}

bool app_command(uint32_t index, uint32_t argument, Response response) {
    return command(kAppCommand, rca << 16, Response::kShort) && command(index, argument, response);
}

// Bits hi..lo of a 128-bit register whose word 0 holds bits 127-96.
uint32_t bits(const uint32_t (&r)[4], int hi, int lo) {
    uint32_t value = 0;
    for (int bit = hi; bit >= lo; --bit) {
        const uint32_t word = r[3 - bit / 32];
        value = value << 1 | ((word >> (bit % 32)) & 1);
    }
    return value;
}

uint32_t sectors_from_csd(const uint32_t (&csd)[4]) {
    if (bits(csd, 127, 126) == 1) return (bits(csd, 69, 48) + 1) * 1024;
    const uint32_t c_size = bits(csd, 73, 62);
    const uint32_t mult = bits(csd, 49, 47);
    const uint32_t block_len = bits(csd, 83, 80);
    const uint64_t bytes = uint64_t(c_size + 1) << (mult + 2 + block_len);
    return uint32_t(bytes / kSdSectorSize);
}

uint32_t address_of(uint32_t sector) {
    return high_capacity ? sector : sector * kSdSectorSize;
}

void start_data(bool from_card) {
    write32(mmci::kDataTimer, 0xFFFFFFFFu);
    write32(mmci::kDataLength, kSdSectorSize);
    write32(mmci::kDataCtrl, mmci::kDataCtrlEnable | (from_card ? mmci::kDataCtrlFromCard : 0) |
                                 kBlockSizeLog2 << mmci::kDataCtrlBlockSizeShift);
}

constexpr uint32_t kDataErrors = mmci::kStatusDataCrcFail | mmci::kStatusDataTimeOut |
                                 mmci::kStatusTxUnderrun | mmci::kStatusRxOverrun |
                                 mmci::kStatusStartBitErr;

void note_data_errors(uint32_t status, bool reading) {
    if (status & mmci::kStatusDataTimeOut) host_status |= kSdStatusReadTimeout;
    if (status & mmci::kStatusDataCrcFail) {
        host_status |= reading ? kSdStatusReadCrc : kSdStatusWriteCrc;
    }
}

bool wait_data_end(bool reading) {
    for (uint32_t i = 0; i < kPollLimit; ++i) {
        const uint32_t status = read32(mmci::kStatus);
        if (status & kDataErrors) {
            note_data_errors(status, reading);
            return false;
        }
        if (status & mmci::kStatusDataEnd) return true;
    }
    if (reading) host_status |= kSdStatusReadTimeout;
    return false;
}

void stop_data() {
    write32(mmci::kDataCtrl, 0);
    write32(mmci::kClear, mmci::kStatusStaticFlags);
}

// A write has been taken once the card is back in the transfer state.
bool wait_card_ready() {
    for (uint32_t i = 0; i < kPollLimit; ++i) {
        if (!command(kSendStatus, rca << 16, Response::kShort)) return false;
        const uint32_t state = (read32(mmci::kResponse0) >> kCardStateShift) & kCardStateMask;
        if (state == kCardStateTransfer) return true;
    }
    return false;
}

// QEMU's versatilepb leaves the slot's card-detect switch unconnected: the system controller's
// MCI status reads 0 with a card in the slot. The card cannot change while QEMU runs (the image
// is given on its command line), so the board asks once at power-on whether a card answers an
// application command, before anything else talks to the controller.
__attribute__((constructor)) void probe_slot() {
    write32(mmci::kPower, mmci::kPowerOn);
    write32(mmci::kClock, mmci::kClockEnable);
    command(kGoIdle, 0, Response::kNone);
    card_answered = command(kAppCommand, 0, Response::kShort);
    host_status = 0;
}

}  // namespace

void SDCardSlotInit() {
    write32(mmci::kPower, mmci::kPowerOn);
    write32(mmci::kClock, mmci::kClockEnable);
    write32(mmci::kMask0, 0);
    write32(mmci::kMask1, 0);
    ready = false;
}

bool sd_card_detect() {
    return card_answered || (read32(sysctl::kMci) & sysctl::kMciCardIn0) != 0;
}

int sd_card_init() {
    ready = false;
    sectors = 0;
    rca = 0;
    host_status = 0;
    if (!sd_card_detect()) return 0;
    write32(mmci::kPower, mmci::kPowerOn);
    write32(mmci::kClock, mmci::kClockEnable);

    command(kGoIdle, 0, Response::kNone);
    // Version 2 cards answer CMD8 with its check pattern; older ones do not answer.
    const bool v2 = command(kSendIfCond, kIfCondArgument, Response::kShort) &&
                    (read32(mmci::kResponse0) & 0xFFF) == kIfCondArgument;
    host_status = 0;

    uint32_t ocr = 0;
    for (int i = 0; i < kOpCondTries; ++i) {
        if (!app_command(kAppSendOpCond, kOcrVoltages | (v2 ? kOcrHighCapacity : 0),
                         Response::kShortNoCrc)) {
            return 0;
        }
        ocr = read32(mmci::kResponse0);
        if (ocr & kOcrReady) break;
    }
    if ((ocr & kOcrReady) == 0) return 0;
    high_capacity = (ocr & kOcrHighCapacity) != 0;

    if (!command(kAllSendCid, 0, Response::kLong)) return 0;
    if (!command(kSendRelativeAddress, 0, Response::kShort)) return 0;
    rca = read32(mmci::kResponse0) >> 16;

    if (!command(kSendCsd, rca << 16, Response::kLong)) return 0;
    const uint32_t csd[4] = {read32(mmci::kResponse0), read32(mmci::kResponse1),
                             read32(mmci::kResponse2), read32(mmci::kResponse3)};
    sectors = sectors_from_csd(csd);

    if (!command(kSelectCard, rca << 16, Response::kShort)) return 0;
    if (!app_command(kAppSetBusWidth, 2, Response::kShort)) return 0;  // 4-bit bus
    if (!high_capacity && !command(kSetBlockLength, kSdSectorSize, Response::kShort)) return 0;
    ready = true;
    return 1;
}

uint32_t sd_card_sectors() {
    return ready ? sectors : 0;
}

int sd_read_sector(uint32_t sector, uint8_t* data) {
    host_status = 0;
    if (!ready) {
        host_status = kSdStatusResponseTimeout;
        return 0;
    }
    write32(mmci::kClear, mmci::kStatusStaticFlags);
    start_data(true);
    if (!command(kReadSingleBlock, address_of(sector), Response::kShort)) {
        stop_data();
        return 0;
    }
    int words = 0;
    for (uint32_t i = 0; i < kPollLimit && words < kSectorWords; ++i) {
        const uint32_t status = read32(mmci::kStatus);
        if (status & kDataErrors) {
            note_data_errors(status, true);
            stop_data();
            return 0;
        }
        if ((status & mmci::kStatusRxDataAvailable) == 0) continue;
        const uint32_t word = read32(mmci::kFifo);
        data[0] = uint8_t(word);
        data[1] = uint8_t(word >> 8);
        data[2] = uint8_t(word >> 16);
        data[3] = uint8_t(word >> 24);
        data += 4;
        ++words;
    }
    const bool ok = words == kSectorWords && wait_data_end(true);
    if (words != kSectorWords) host_status |= kSdStatusReadTimeout;
    stop_data();
    return ok ? 1 : 0;
}

int sd_write_sector(uint32_t sector, const uint8_t* data) {
    host_status = 0;
    if (!ready) {
        host_status = kSdStatusResponseTimeout;
        return 0;
    }
    if (!command(kWriteBlock, address_of(sector), Response::kShort)) return 0;
    start_data(false);
    int words = 0;
    for (uint32_t i = 0; i < kPollLimit && words < kSectorWords; ++i) {
        const uint32_t status = read32(mmci::kStatus);
        if (status & kDataErrors) {
            note_data_errors(status, false);
            stop_data();
            return 0;
        }
        if (status & mmci::kStatusTxFifoFull) continue;
        write32(mmci::kFifo, uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                                 uint32_t(data[3]) << 24);
        data += 4;
        ++words;
    }
    const bool ok = words == kSectorWords && wait_data_end(false);
    stop_data();
    return ok && wait_card_ready() ? 1 : 0;
}

uint32_t sd_host_status() {
    return host_status;
}

const BoardFsDriver* board_fs_driver() {
    return nullptr;
}
