// What the ARM926 boards share: interrupt masking in the CPSR, wait for interrupt, and the
// hooks the start-up code calls in the board.
#pragma once

#include <cstdint>

// The CPSR's I and F bits.
constexpr uint32_t kArm926IrqMask = 0x80;
constexpr uint32_t kArm926FiqMask = 0x40;

// Masks IRQ and FIQ; returns the previous state of both bits for arm926_irq_restore.
inline uint32_t arm926_irq_save() {
    uint32_t cpsr;
    asm volatile("mrs %0, cpsr" : "=r"(cpsr));
    asm volatile("msr cpsr_c, %0" ::"r"(cpsr | kArm926IrqMask | kArm926FiqMask) : "memory");
    return cpsr & (kArm926IrqMask | kArm926FiqMask);
}

inline void arm926_irq_restore(uint32_t state) {
    uint32_t cpsr;
    asm volatile("mrs %0, cpsr" : "=r"(cpsr));
    cpsr =
        (cpsr & ~(kArm926IrqMask | kArm926FiqMask)) | (state & (kArm926IrqMask | kArm926FiqMask));
    asm volatile("msr cpsr_c, %0" ::"r"(cpsr) : "memory");
}

inline void arm926_enable_interrupts() {
    uint32_t cpsr;
    asm volatile("mrs %0, cpsr" : "=r"(cpsr));
    asm volatile("msr cpsr_c, %0" ::"r"(cpsr & ~(kArm926IrqMask | kArm926FiqMask)) : "memory");
}

// Stops the core until an interrupt is pending, masked or not; the caller's handler runs once
// the mask allows it.
inline void arm926_wait_for_interrupt() {
    asm volatile("mcr p15, 0, %0, c7, c0, 4" ::"r"(0) : "memory");
}

// Kinds of fault the start-up code reports to board_fault.
constexpr int kArm926FaultUndefined = 0;
constexpr int kArm926FaultPrefetch = 1;
constexpr int kArm926FaultData = 2;

extern "C" {
// Called by the reset handler before .data and .bss are set up: stack and registers only.
void board_early_init(void);
// The IRQ and FIQ vectors' C side: serve the highest-priority pending source.
void board_irq_dispatch(void);
void board_fiq_dispatch(void);
// An exception nothing can recover from; address is the faulting data address for a data
// abort, the instruction's otherwise. Must not return.
[[noreturn]] void board_fault(int kind, uint32_t address);
}
