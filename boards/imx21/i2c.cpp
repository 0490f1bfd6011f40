// The I2C controller as bus master for the settings EEPROM (a 64 KB part at device address 0xA0
// with two address bytes).
#include "device/board.h"
#include "imx21.h"

namespace {

using namespace imx21;

constexpr uint32_t kIfdr = kI2cBase + 0x04;
constexpr uint32_t kI2cr = kI2cBase + 0x08;
constexpr uint32_t kI2sr = kI2cBase + 0x0C;
constexpr uint32_t kI2dr = kI2cBase + 0x10;

constexpr uint32_t kI2crRsta = 1u << 2;  // repeated start
constexpr uint32_t kI2crTxak = 1u << 3;  // 1 = no acknowledge for the next received byte
constexpr uint32_t kI2crMtx = 1u << 4;   // transmit
constexpr uint32_t kI2crMsta = 1u << 5;  // master: 0 -> 1 starts, 1 -> 0 stops
constexpr uint32_t kI2crIen = 1u << 7;

constexpr uint32_t kI2srRxak = 1u << 0;  // 1 = no acknowledge received
constexpr uint32_t kI2srIif = 1u << 1;   // byte transfer finished; cleared by writing 0
constexpr uint32_t kI2srIbb = 1u << 5;   // bus busy

// Divider 768 from the 66.5 MHz IPG clock: about 87 kHz, inside the EEPROM's 100 kHz.
constexpr uint32_t kIfdrDiv768 = 0x39;
static_assert(kIpgHz / 768 <= 100000);

constexpr uint8_t kEepromWrite = 0xA0;
constexpr uint8_t kEepromRead = 0xA1;

// A byte takes about 100 us at this rate; these bounds are far beyond it, so they only end a
// wait on a bus that is stuck (no device, a line held low).
constexpr int kByteWaitPolls = 200000;
constexpr int kBusWaitPolls = 200000;
// The EEPROM's write cycle lasts up to 5 ms; each empty transfer takes about 0.1 ms.
constexpr int kAckPollLimit = 200;

bool wait_bus(bool busy) {
    for (int i = 0; i < kBusWaitPolls; ++i)
        if (bool(read32(kI2sr) & kI2srIbb) == busy) return true;
    return false;
}

// Waits for the byte in flight to finish; returns the status it finished with (0 when the bus
// never finished it).
uint32_t wait_byte() {
    for (int i = 0; i < kByteWaitPolls; ++i) {
        const uint32_t sr = read32(kI2sr);
        if (sr & kI2srIif) {
            write32(kI2sr, 0);
            return sr;
        }
    }
    return 0;
}

bool start() {
    if (!wait_bus(false)) return false;
    write32(kI2cr, kI2crIen | kI2crMsta | kI2crMtx);
    return wait_bus(true);
}

// True when the device acknowledged the byte.
bool send(uint8_t byte) {
    write32(kI2dr, byte);
    const uint32_t sr = wait_byte();
    return (sr & kI2srIif) && !(sr & kI2srRxak);
}

void stop() {
    write32(kI2cr, kI2crIen);
    wait_bus(false);
}

}  // namespace

void InitI2C() {
    clock_gate(ClockGate::kI2c, true);
    pin_primary({Port::kD, 17});  // SDA
    pin_primary({Port::kD, 18});  // SCL
    write32(kI2cr, 0);
    write32(kIfdr, kIfdrDiv768);
    write32(kI2sr, 0);
    write32(kI2cr, kI2crIen);
}

void EEpromWrite(uint32_t address, uint8_t value) {
    bool ok = start() && send(kEepromWrite) && send(uint8_t(address >> 8)) &&
              send(uint8_t(address)) && send(value);
    stop();
    if (!ok) return;
    // The device ignores its address until the write cycle is over: an acknowledged empty write
    // says the byte is stored.
    for (int i = 0; i < kAckPollLimit; ++i) {
        ok = start() && send(kEepromWrite);
        stop();
        if (ok) return;
    }
}

uint8_t EEpromRead(uint32_t address) {
    uint8_t value = 0xFF;
    if (start() && send(kEepromWrite) && send(uint8_t(address >> 8)) && send(uint8_t(address))) {
        write32(kI2cr, kI2crIen | kI2crMsta | kI2crMtx | kI2crRsta);
        if (send(kEepromRead)) {
            // One byte only: no acknowledge for it, and the stop goes out before the data
            // register is read so that reading it does not clock in another byte.
            write32(kI2cr, kI2crIen | kI2crMsta | kI2crTxak);
            (void)read32(kI2dr);  // the dummy read starts the transfer
            wait_byte();
            write32(kI2cr, kI2crIen);
            value = uint8_t(read32(kI2dr));
            wait_bus(false);
            return value;
        }
    }
    stop();
    return value;
}
