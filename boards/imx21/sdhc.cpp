// The SD card slot on SDHC1: bring-up, and single-block transfers through the data FIFO
// (programmed I/O, no DMA).
#include "device/board.h"
#include "imx21.h"

namespace {

using namespace imx21;

constexpr uint32_t kStrStpClk = kSdhc1Base + 0x00;
constexpr uint32_t kStatus = kSdhc1Base + 0x04;
constexpr uint32_t kClkRate = kSdhc1Base + 0x08;
constexpr uint32_t kCmdDatCont = kSdhc1Base + 0x0C;
constexpr uint32_t kResTo = kSdhc1Base + 0x10;
constexpr uint32_t kReadTo = kSdhc1Base + 0x14;
constexpr uint32_t kBlkLen = kSdhc1Base + 0x18;
constexpr uint32_t kNob = kSdhc1Base + 0x1C;
constexpr uint32_t kIntCntr = kSdhc1Base + 0x24;
constexpr uint32_t kCmd = kSdhc1Base + 0x28;
constexpr uint32_t kArg = kSdhc1Base + 0x2C;
constexpr uint32_t kResFifo = kSdhc1Base + 0x34;
constexpr uint32_t kBufferAccess = kSdhc1Base + 0x38;

constexpr uint32_t kStopClk = 1u << 0;
constexpr uint32_t kStartClk = 1u << 1;
constexpr uint32_t kSdhcReset = 1u << 3;

// STATUS: the error bits are laid out as the contract's kSdStatus* constants.
constexpr uint32_t kStatusTimeOutRead = 1u << 0;
constexpr uint32_t kStatusTimeOutResp = 1u << 1;
constexpr uint32_t kStatusWriteCrcErr = 1u << 2;
constexpr uint32_t kStatusReadCrcErr = 1u << 3;
constexpr uint32_t kStatusRespCrcErr = 1u << 5;
constexpr uint32_t kStatusBufWriteReady = 1u << 6;
constexpr uint32_t kStatusBufReadReady = 1u << 7;
constexpr uint32_t kStatusCardBusClkRun = 1u << 8;
constexpr uint32_t kStatusWrCrcCodeShift = 9;
constexpr uint32_t kStatusReadOpDone = 1u << 11;
constexpr uint32_t kStatusWriteOpDone = 1u << 12;
constexpr uint32_t kStatusEndCmdResp = 1u << 13;
constexpr uint32_t kStatusAllEvents = 0xFFFFFFFF;  // write 1 to clear
static_assert(kStatusTimeOutRead == kSdStatusReadTimeout);
static_assert(kStatusTimeOutResp == kSdStatusResponseTimeout);
static_assert(kStatusWriteCrcErr == kSdStatusWriteCrc);
static_assert(kStatusReadCrcErr == kSdStatusReadCrc);
static_assert(kStatusRespCrcErr == kSdStatusResponseCrc);
static_assert(kStatusWrCrcCodeShift == kSdStatusWriteCrcCodeShift);
constexpr uint32_t kStatusErrors = kSdStatusReadTimeout | kSdStatusResponseTimeout |
                                   kSdStatusWriteCrc | kSdStatusReadCrc | kSdStatusResponseCrc;
constexpr uint32_t kStatusReported = kStatusErrors | kSdStatusWriteCrcCodeMask;

// CMD_DAT_CONT: writing it starts the command.
constexpr uint32_t kResponseNone = 0;
constexpr uint32_t kResponse48Crc = 1;  // R1, R1b, R6, R7
constexpr uint32_t kResponse136 = 2;    // R2
constexpr uint32_t kResponse48 = 3;     // R3: no CRC
constexpr uint32_t kDataEnable = 1u << 3;
constexpr uint32_t kDataWrite = 1u << 4;
constexpr uint32_t kBusy = 1u << 6;  // the response is followed by busy on DAT0
constexpr uint32_t kInit = 1u << 7;  // 80 clocks before the command
constexpr uint32_t kBusWidth4 = 2u << 8;

// CLK_RATE: card clock = PERCLK2 / (divider + 1) / (2 x prescaler, or 1 for prescaler 0).
constexpr uint32_t kClkPrescalerShift = 4;
constexpr uint32_t clk_rate(uint32_t prescaler, uint32_t divider) {
    return (prescaler << kClkPrescalerShift) | divider;
}
constexpr uint32_t kIdentifyClock = clk_rate(4, 15);  // 33.25 MHz / 16 / 8: 260 kHz (< 400 kHz)
constexpr uint32_t kTransferClock = clk_rate(0, 1);   // 33.25 MHz / 2: 16.6 MHz (< 25 MHz)
static_assert(kPerclk2Hz / 16 / 8 <= 400000 && kPerclk2Hz / 2 <= 25000000);

constexpr uint32_t kResponseTimeout = 0xFF;
constexpr uint32_t kReadTimeout = 0xFFFF;

// Commands and their arguments.
constexpr uint32_t kGoIdle = 0;
constexpr uint32_t kAllSendCid = 2;
constexpr uint32_t kSendRelativeAddr = 3;
constexpr uint32_t kSetBusWidth = 6;  // application command
constexpr uint32_t kSelectCard = 7;
constexpr uint32_t kSendIfCond = 8;
constexpr uint32_t kSendCsd = 9;
constexpr uint32_t kSendStatus = 13;
constexpr uint32_t kSetBlockLen = 16;
constexpr uint32_t kReadSingleBlock = 17;
constexpr uint32_t kWriteBlock = 24;
constexpr uint32_t kSdSendOpCond = 41;  // application command
constexpr uint32_t kAppCmd = 55;

constexpr uint32_t kIfCondArg = 0x1AA;  // 2.7-3.6 V, check pattern 0xAA
constexpr uint32_t kIfCondEcho = 0xFFF;
constexpr uint32_t kOcrVoltageWindow = 0x00FF8000;  // 2.7-3.6 V
constexpr uint32_t kOcrHcs = 1u << 30;
constexpr uint32_t kOcrPowerUpDone = 1u << 31;
constexpr uint32_t kBusWidthArg4 = 2;
constexpr uint32_t kRcaShift = 16;
constexpr uint32_t kCardStateShift = 9;
constexpr uint32_t kCardStateMask = 0xF;
constexpr uint32_t kCardStateTran = 4;
constexpr uint32_t kReadyForData = 1u << 8;

// ACMD41 is repeated until the card has powered up: one second is the card's limit, and each
// round takes a few hundred microseconds at the identification clock.
constexpr int kOpCondRounds = 4000;
constexpr int kCommandPolls = 2000000;
constexpr int kDataPolls = 4000000;
constexpr int kProgrammingPolls = 200000;
constexpr int kResetPolls = 1000;

constexpr Pin kDataPins[] = {{Port::kE, 18}, {Port::kE, 19}, {Port::kE, 20},
                             {Port::kE, 21}, {Port::kE, 22}, {Port::kE, 23}};  // D0-D3, CMD, CLK
constexpr Pin kCardDetectPin = {Port::kC, 17};  // low while a card sits in the slot
constexpr Pin kCardPowerPin = {Port::kC, 18};   // high switches the card's supply on

struct Card {
    bool ready;
    bool blockAddressed;  // SDHC/SDXC: the argument is a sector number, not a byte address
    uint32_t rca;
    uint32_t sectors;
};
Card card;
uint32_t lastStatus;

bool wait_status(uint32_t bits, int polls) {
    for (int i = 0; i < polls; ++i) {
        const uint32_t s = read32(kStatus);
        if (s & (bits | kStatusErrors)) return (s & bits) != 0;
    }
    return false;
}

// Sends a command and waits for its response; resp gets 1 word (48-bit) or 4 (136-bit, the
// most significant first). False on a time-out or CRC error, kept in the host status.
bool command(uint32_t index, uint32_t arg, uint32_t control, uint32_t* resp = nullptr) {
    write32(kStatus, kStatusAllEvents);
    write32(kCmd, index);
    write32(kArg, arg);
    write32(kCmdDatCont, control);
    int polls = 0;
    while (!(read32(kStatus) & kStatusEndCmdResp) && polls < kCommandPolls) ++polls;
    const uint32_t s = read32(kStatus);
    lastStatus = s;
    const uint32_t format = control & 3u;
    const bool crcMatters = format != kResponse48;
    if (polls == kCommandPolls || (s & kStatusTimeOutResp) ||
        (crcMatters && (s & kStatusRespCrcErr))) {
        if (polls == kCommandPolls) lastStatus |= kStatusTimeOutResp;
        return false;
    }
    if (resp && format == kResponse136) {
        for (int i = 0; i < 4; ++i) {
            const uint32_t hi = read32(kResFifo) & 0xFFFF;
            const uint32_t lo = read32(kResFifo) & 0xFFFF;
            resp[i] = (hi << 16) | lo;
        }
    } else if (resp && format != kResponseNone) {
        // 48 bits arrive as three halfwords: start, index and the 32-bit field, then the CRC.
        const uint32_t a = read32(kResFifo) & 0xFFFF;
        const uint32_t b = read32(kResFifo) & 0xFFFF;
        const uint32_t c = read32(kResFifo) & 0xFFFF;
        resp[0] = (a << 24) | (b << 8) | (c >> 8);
    }
    return true;
}

bool app_command(uint32_t index, uint32_t arg, uint32_t control, uint32_t* resp) {
    return command(kAppCmd, card.rca << kRcaShift, kResponse48Crc) &&
           command(index, arg, control, resp);
}

void set_clock(uint32_t rate) {
    write32(kStrStpClk, kStopClk);
    write32(kClkRate, rate);
    write32(kStrStpClk, kStartClk);
    for (int i = 0; i < kCommandPolls && !(read32(kStatus) & kStatusCardBusClkRun); ++i) {}
}

// A field of the 128-bit CSD, as the card sends it (bit 127 first).
uint32_t csd_bits(const uint32_t* csd, int lsb, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        const int bit = lsb + i;
        value = (value << 1) | ((csd[3 - bit / 32] >> (bit % 32)) & 1u);
    }
    return value;
}

uint32_t sectors_from_csd(const uint32_t* csd) {
    constexpr uint32_t kCsdVersion2 = 1;
    if (csd_bits(csd, 126, 2) == kCsdVersion2) return (csd_bits(csd, 48, 22) + 1) * 1024;
    const uint32_t blockLenLog2 = csd_bits(csd, 80, 4);
    const uint32_t cSize = csd_bits(csd, 62, 12);
    const uint32_t multLog2 = csd_bits(csd, 47, 3) + 2;
    const uint64_t bytes = uint64_t(cSize + 1) << (multLog2 + blockLenLog2);
    return uint32_t(bytes / kSdSectorSize);
}

// After a write the card programs the block while it holds DAT0 low; the next command must wait
// until it is back in the transfer state.
bool wait_card_ready() {
    for (int i = 0; i < kProgrammingPolls; ++i) {
        uint32_t r1 = 0;
        if (!command(kSendStatus, card.rca << kRcaShift, kResponse48Crc, &r1)) return false;
        if ((r1 & kReadyForData) && ((r1 >> kCardStateShift) & kCardStateMask) == kCardStateTran)
            return true;
    }
    return false;
}

uint32_t transfer_argument(uint32_t sector) {
    return card.blockAddressed ? sector : sector * kSdSectorSize;
}

}  // namespace

void SDCardSlotInit() {
    clock_gate(ClockGate::kSdhc1, true);
    for (const Pin& p : kDataPins) pin_primary(p);
    pin_input(kCardDetectPin);
    pin_output(kCardPowerPin, true);
    card = {};
}

bool sd_card_detect() {
    return !pin_level(kCardDetectPin);
}

int sd_card_init() {
    card = {};
    if (!sd_card_detect()) return 0;
    write32(kStrStpClk, kSdhcReset);
    for (int i = 0; i < kResetPolls && (read32(kStrStpClk) & kSdhcReset); ++i) {}
    write32(kIntCntr, 0);
    write32(kResTo, kResponseTimeout);
    write32(kReadTo, kReadTimeout);
    set_clock(kIdentifyClock);

    if (!command(kGoIdle, 0, kResponseNone | kInit)) return 0;
    uint32_t r = 0;
    // Only a card of version 2 or later answers; an older one times out and stays idle.
    const bool v2 =
        command(kSendIfCond, kIfCondArg, kResponse48Crc, &r) && (r & kIfCondEcho) == kIfCondArg;
    const uint32_t opArg = kOcrVoltageWindow | (v2 ? kOcrHcs : 0);
    uint32_t ocr = 0;
    int round = 0;
    for (; round < kOpCondRounds; ++round) {
        if (!app_command(kSdSendOpCond, opArg, kResponse48, &ocr)) return 0;
        if (ocr & kOcrPowerUpDone) break;
    }
    if (round == kOpCondRounds) return 0;
    card.blockAddressed = (ocr & kOcrHcs) != 0;

    uint32_t cid[4];
    if (!command(kAllSendCid, 0, kResponse136, cid)) return 0;
    if (!command(kSendRelativeAddr, 0, kResponse48Crc, &r)) return 0;
    card.rca = r >> kRcaShift;
    uint32_t csd[4];
    if (!command(kSendCsd, card.rca << kRcaShift, kResponse136, csd)) return 0;
    card.sectors = sectors_from_csd(csd);
    if (!command(kSelectCard, card.rca << kRcaShift, kResponse48Crc | kBusy)) return 0;
    if (!app_command(kSetBusWidth, kBusWidthArg4, kResponse48Crc, &r)) return 0;
    if (!command(kSetBlockLen, kSdSectorSize, kResponse48Crc | kBusWidth4)) return 0;
    set_clock(kTransferClock);
    card.ready = true;
    return 1;
}

uint32_t sd_card_sectors() {
    return card.ready ? card.sectors : 0;
}

int sd_read_sector(uint32_t sector, uint8_t* data) {
    if (!card.ready || !data) return 0;
    write32(kBlkLen, kSdSectorSize);
    write32(kNob, 1);
    if (!command(kReadSingleBlock, transfer_argument(sector),
                 kResponse48Crc | kDataEnable | kBusWidth4))
        return 0;
    for (uint32_t i = 0; i < kSdSectorSize; i += 4) {
        if (!wait_status(kStatusBufReadReady, kDataPolls)) {
            lastStatus = read32(kStatus);
            return 0;
        }
        const uint32_t word = read32(kBufferAccess);
        data[i] = uint8_t(word);
        data[i + 1] = uint8_t(word >> 8);
        data[i + 2] = uint8_t(word >> 16);
        data[i + 3] = uint8_t(word >> 24);
    }
    const bool done = wait_status(kStatusReadOpDone, kDataPolls);
    lastStatus = read32(kStatus);
    return done && !(lastStatus & kStatusErrors) ? 1 : 0;
}

int sd_write_sector(uint32_t sector, const uint8_t* data) {
    if (!card.ready || !data) return 0;
    write32(kBlkLen, kSdSectorSize);
    write32(kNob, 1);
    if (!command(kWriteBlock, transfer_argument(sector),
                 kResponse48Crc | kDataEnable | kDataWrite | kBusWidth4))
        return 0;
    for (uint32_t i = 0; i < kSdSectorSize; i += 4) {
        if (!wait_status(kStatusBufWriteReady, kDataPolls)) {
            lastStatus = read32(kStatus);
            return 0;
        }
        write32(kBufferAccess, uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 |
                                   uint32_t(data[i + 2]) << 16 | uint32_t(data[i + 3]) << 24);
    }
    const bool done = wait_status(kStatusWriteOpDone, kDataPolls);
    const uint32_t status = read32(kStatus);
    if (!done || (status & kStatusReported)) {
        lastStatus = status;
        return 0;
    }
    if (!wait_card_ready()) return 0;
    // The status the firmware sees is the data transfer's, not the polling's.
    lastStatus = status;
    return 1;
}

uint32_t sd_host_status() {
    return lastStatus & kStatusReported;
}
