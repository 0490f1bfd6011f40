// Text to the host, as every layer of the firmware sends it. The serial core (src/core)
// implements these; the services below it include only this header, never the serial core's, so
// the host link stays above them while they can still answer and report.
//
// Every call returns once its bytes have left (or, for txNotify in RS-485 addressed mode, once
// they are queued for the next poll).
#pragma once

#include <cstdint>

// The reply buffer that commands format their answers into before sending them.
constexpr int kOutBufferSize = 129;
extern char out_buffer[kOutBufferSize];

// A reply to the line being executed: sent now (in RS-485 addressed mode with the frame prefix).
void txString(const char* s);
// An unsolicited message: sent now, or in RS-485 addressed mode queued for the host's poll
// (dropped when the queue has no room).
void txNotify(const char* s);
// Returns once everything sent to the host has left the line, the last stop bit included (the
// calls above return when their bytes are in the transmitter, whose FIFO may still hold them).
void txWait();
// printf-style forms of txNotify (pout) and txString (perr), at most 127 characters.
void pout(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void perr(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A number as a reply line ("%ld\r").
inline void txNumber(long value) {
    perr("%ld\r", value);
}
// Bytes sent as they are (binary reports), at most 129.
void txBinary(const uint8_t* bytes, int n);
// Notifications and touch reports go out in binary form ("*binr").
extern uint8_t binaryResponses;
