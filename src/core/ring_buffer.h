// The receive rings of the two UARTs: the interrupt stores at the head, the main loop takes at the
// tail. Only the count is written from both sides; the main loop updates it with interrupts off
// and every other field has one writer, so no lock is needed beyond that one critical section.
#pragma once

#include <cstdint>

#include "device/board.h"

template <uint16_t N>
struct RxRing {
    static constexpr uint16_t kSize = N;

    uint8_t buf[N];
    volatile uint16_t head;  // next write (interrupt side)
    volatile uint16_t tail;  // next read (main-loop side)
    volatile uint16_t count;

    uint16_t next(uint16_t i) const { return uint16_t((i + 1) % N); }
    uint16_t prev(uint16_t i) const { return uint16_t((i + N - 1) % N); }

    bool full() const { return count >= N; }
    // Interrupt side: stores c; the caller has checked that there is room.
    void put(uint8_t c) {
        buf[head] = c;
        head = next(head);
        count = uint16_t(count + 1);
    }
    // Main-loop side: takes the oldest byte; the caller has checked that one is waiting.
    uint8_t take() {
        const uint8_t c = buf[tail];
        tail = next(tail);
        IrqGuard guard;
        count = uint16_t(count - 1);
        return c;
    }
    // The oldest byte, left waiting.
    uint8_t peek() const { return buf[tail]; }
    // Forgets everything waiting; the caller keeps the interrupt out.
    void clear() {
        head = 0;
        tail = 0;
        count = 0;
    }
};
