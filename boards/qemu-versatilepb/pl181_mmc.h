// The PL181 MultiMedia Card Interface at 0x10005000 (the first MMC/SD slot), used in polled
// PIO mode: the processor moves every word through the FIFO.
#pragma once

#include <cstdint>

namespace qemu::mmci {

constexpr uint32_t kBase = 0x10005000;
constexpr uint32_t kPower = kBase + 0x00;
constexpr uint32_t kClock = kBase + 0x04;
constexpr uint32_t kArgument = kBase + 0x08;
constexpr uint32_t kCommand = kBase + 0x0C;
constexpr uint32_t kRespCmd = kBase + 0x10;
constexpr uint32_t kResponse0 = kBase + 0x14;
constexpr uint32_t kResponse1 = kBase + 0x18;
constexpr uint32_t kResponse2 = kBase + 0x1C;
constexpr uint32_t kResponse3 = kBase + 0x20;
constexpr uint32_t kDataTimer = kBase + 0x24;
constexpr uint32_t kDataLength = kBase + 0x28;
constexpr uint32_t kDataCtrl = kBase + 0x2C;
constexpr uint32_t kDataCnt = kBase + 0x30;
constexpr uint32_t kStatus = kBase + 0x34;
constexpr uint32_t kClear = kBase + 0x38;
constexpr uint32_t kMask0 = kBase + 0x3C;
constexpr uint32_t kMask1 = kBase + 0x40;
constexpr uint32_t kFifoCnt = kBase + 0x48;
constexpr uint32_t kFifo = kBase + 0x80;

// Power
constexpr uint32_t kPowerOn = 3;
// Clock
constexpr uint32_t kClockEnable = 1u << 8;
// Command
constexpr uint32_t kCommandResponse = 1u << 6;
constexpr uint32_t kCommandLongResponse = 1u << 7;
constexpr uint32_t kCommandEnable = 1u << 10;
// Data control
constexpr uint32_t kDataCtrlEnable = 1u << 0;
constexpr uint32_t kDataCtrlFromCard = 1u << 1;
constexpr int kDataCtrlBlockSizeShift = 4;  // log2 of the block size
// Status (and Clear for the static flags)
constexpr uint32_t kStatusCmdCrcFail = 1u << 0;
constexpr uint32_t kStatusDataCrcFail = 1u << 1;
constexpr uint32_t kStatusCmdTimeOut = 1u << 2;
constexpr uint32_t kStatusDataTimeOut = 1u << 3;
constexpr uint32_t kStatusTxUnderrun = 1u << 4;
constexpr uint32_t kStatusRxOverrun = 1u << 5;
constexpr uint32_t kStatusCmdRespEnd = 1u << 6;
constexpr uint32_t kStatusCmdSent = 1u << 7;
constexpr uint32_t kStatusDataEnd = 1u << 8;
constexpr uint32_t kStatusStartBitErr = 1u << 9;
constexpr uint32_t kStatusDataBlockEnd = 1u << 10;
constexpr uint32_t kStatusTxFifoFull = 1u << 16;
constexpr uint32_t kStatusRxDataAvailable = 1u << 21;
constexpr uint32_t kStatusStaticFlags = 0x7FF;

}  // namespace qemu::mmci
