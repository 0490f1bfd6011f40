// State of the serial core shared between its files (the receive intake, the transmit path, the
// auxiliary port, RS-485 addressed mode and the port set-up). Not for use outside src/core.
//
// The interrupt handlers share with the main loop only these rings, counters and flags; each is a
// byte or a 16-bit word written in one store, and multi-byte updates from the main loop happen
// with interrupts off.
#pragma once

#include <cstdint>

#include "core/ring_buffer.h"
#include "core/serial.h"

namespace serial {

constexpr uint8_t kCR = 0x0D;
constexpr uint8_t kLF = 0x0A;
constexpr uint8_t kBackspace = 0x08;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kBinaryLead = 0x80;  // a lead byte above this starts a binary command
constexpr int kRs485PrefixLen = 3;     // start-of-frame character and "FF"

// --- host-port reception (line intake and flow control) ---
extern RxRing<kRxRingSize> rx;
extern volatile uint16_t rxGotLine;  // complete lines waiting
extern volatile uint8_t startCmd;    // the next byte starts a line
extern volatile uint8_t binaryMode;  // bytes still due of a binary command
extern volatile uint8_t rxStopped;   // XOFF sent (or never to be sent: RS-485)
extern volatile uint8_t xoff;        // the host asked the module to pause
extern volatile uint8_t bufferOverflow;
extern volatile uint8_t rawRx[kUartCount];

// Reception state at power-on: nothing waiting, nothing stopped, binary commands allowed.
void rxInit();
// The receive interrupt's work for one byte from the host.
void host_rx_byte(uint8_t c);
// One complete line has been read.
void line_consumed();

// --- transmission ---
// One port's interrupt-driven transmitter: the string being sent and how far it has gone.
struct TxChannel {
    const char* volatile ptr;
    volatile uint8_t busy;
    volatile uint8_t draining;  // com1: all bytes written, waiting for the line to fall quiet
};
extern TxChannel hostTx;
// Waits until the channel is free, then sends s (not empty) through the transmit interrupt of
// port and waits until it has left.
void send_through(int port, TxChannel& channel, const char* s);
// Transmission state at power-on: nothing queued, the transmitter idle.
void txInit();
// Starts sending a single flow-control byte when the host transmitter is idle.
void send_flow_byte(uint8_t byte);
// The transmit interrupt's work on the host port.
void host_tx_service();
// The transmit interrupt's work on either port: feeds the FIFO from ptr; at the end of the
// string com0 is done, com1 first waits until its transmitter has finished so that the RS-485
// driver can be let go.
void tx_service(int port, TxChannel& channel);
// Writes bytes one at a time, each after the previous has completely left the transmitter.
void poll_write(int port, const uint8_t* bytes, int n);

// --- auxiliary port ---
extern volatile uint8_t auxEscCnt;  // auxiliary-escape characters received in a row
// Auxiliary state at power-on.
void auxInit();
// The auxiliary port's interrupt: reception into its ring, and its transmitter.
void aux_isr();

// --- RS-485 addressed mode ---
extern char rs485prefix[kRs485PrefixLen + 1];
// A complete frame waits: takes its start-of-frame and address. kLineReady when the frame is for
// this module (its command follows in the ring); kNoLine when it was dropped or answered here
// (a discovery request).
int take_addressed_frame();

// --- roles ---
// The host port's interrupt: reception and its transmitter.
void host_isr();

}  // namespace serial
