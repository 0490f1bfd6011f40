// The interrupt controller (AITC): the contract's sources on the i.MX21's interrupt lines, and
// the dispatch the start-up code's IRQ and FIQ vectors call.
#include "arm926.h"
#include "device/board.h"
#include "imx21.h"

namespace {

using imx21::kAitcBase;
using imx21::read32;
using imx21::write32;

constexpr uint32_t kIntcntl = kAitcBase + 0x00;
constexpr uint32_t kNimask = kAitcBase + 0x04;
constexpr uint32_t kIntennum = kAitcBase + 0x08;   // write a line number: enable it
constexpr uint32_t kIntdisnum = kAitcBase + 0x0C;  // write a line number: disable it
constexpr uint32_t kIntenableh = kAitcBase + 0x10;
constexpr uint32_t kIntenablel = kAitcBase + 0x14;
constexpr uint32_t kInttypeh = kAitcBase + 0x18;  // 1 = fast interrupt (FIQ)
constexpr uint32_t kInttypel = kAitcBase + 0x1C;
constexpr uint32_t kNipriority0 = kAitcBase + 0x3C;  // lines 0-7; NIPRIORITY7 (lines 56-63) at 0x20
constexpr uint32_t kNivecsr = kAitcBase + 0x40;
constexpr uint32_t kFivecsr = kAitcBase + 0x44;

// INTCNTL all zero: normal and fast interrupts enabled at the controller, vectors not used (the
// dispatch reads the vector registers itself).
constexpr uint32_t kIntcntlDefault = 0;
// NIMASK at its largest level masks no priority.
constexpr uint32_t kNimaskNone = 0x1F;
// NIVECSR: the highest pending normal line in the upper half; FIVECSR holds the fast one.
constexpr int kNivectorShift = 16;
constexpr uint32_t kNoPendingLine = 0xFFFF;
// Priority fields: 4 bits per line, 8 lines per register, registers downwards from line 0.
constexpr int kPriorityBits = 4;
constexpr int kLinesPerPriorityRegister = 8;
constexpr uint32_t kPriorityMask = 0xF;

constexpr int kLineCount = 64;

// The module's lines for the contract's sources: the timebase on GPT2, com0 on UART1, com1 on
// UART2. Higher contract numbers get higher priority levels; equal levels would order them the
// same way, as the controller breaks ties by line number and 25 > 20 > 19.
struct SourceLine {
    int line;
    uint32_t priority;
};
constexpr SourceLine kSourceLines[] = {
    {19, 1},  // kIrqCom1: UART2
    {20, 2},  // kIrqCom0: UART1
    {25, 3},  // kIrqTimer: GPT2
};
constexpr int kMappedSources = sizeof kSourceLines / sizeof kSourceLines[0];
static_assert(kIrqCom1 == 0 && kIrqCom0 == 1 && kIrqTimer == 2);

void halt_on_unexpected_interrupt() {
    arm926_irq_save();
    for (;;) {}
}

IsrHandler handlers[kIrqSourceCount];

int line_of(int source) {
    return source >= 0 && source < kMappedSources ? kSourceLines[source].line : -1;
}

int source_of(uint32_t line) {
    for (int s = 0; s < kMappedSources; ++s)
        if (uint32_t(kSourceLines[s].line) == line) return s;
    return -1;
}

void set_priority(int line, uint32_t level) {
    const uint32_t reg = kNipriority0 - 4u * uint32_t(line / kLinesPerPriorityRegister);
    const uint32_t shift = kPriorityBits * uint32_t(line % kLinesPerPriorityRegister);
    write32(reg, (read32(reg) & ~(kPriorityMask << shift)) | (level << shift));
}

void set_fast(int line, bool fast) {
    const uint32_t reg = line >= 32 ? kInttypeh : kInttypel;
    const uint32_t bit = 1u << (line % 32);
    write32(reg, fast ? read32(reg) | bit : read32(reg) & ~bit);
}

void dispatch_line(uint32_t line) {
    const int source = source_of(line);
    const IsrHandler h = source >= 0 ? handlers[source] : halt_on_unexpected_interrupt;
    h();
}

}  // namespace

void interrupt_init() {
    arm926_irq_save();
    write32(kIntenableh, 0);
    write32(kIntenablel, 0);
    write32(kInttypeh, 0);
    write32(kInttypel, 0);
    write32(kIntcntl, kIntcntlDefault);
    write32(kNimask, kNimaskNone);
    for (auto& h : handlers) h = halt_on_unexpected_interrupt;
    for (const SourceLine& s : kSourceLines) set_priority(s.line, s.priority);
    arm926_enable_interrupts();
}

void interrupt_set_isr(int source, IsrHandler handler) {
    if (source < 0 || source >= kIrqSourceCount) return;
    handlers[source] = handler ? handler : halt_on_unexpected_interrupt;
}

void interrupt_enable(int source, int fast) {
    const int line = line_of(source);
    if (line < 0) return;
    IrqGuard guard;
    set_fast(line, fast != 0);
    write32(kIntennum, uint32_t(line));
}

void interrupt_disable(int source) {
    const int line = line_of(source);
    if (line < 0) return;
    write32(kIntdisnum, uint32_t(line));
}

uint32_t board_irq_save() {
    return arm926_irq_save();
}

void board_irq_restore(uint32_t state) {
    arm926_irq_restore(state);
}

extern "C" void board_irq_dispatch(void) {
    const uint32_t line = read32(kNivecsr) >> kNivectorShift;
    if (line == kNoPendingLine || line >= uint32_t(kLineCount)) return;  // withdrawn meanwhile
    dispatch_line(line);
}

extern "C" void board_fiq_dispatch(void) {
    const uint32_t line = read32(kFivecsr);
    if (line >= uint32_t(kLineCount)) return;
    dispatch_line(line);
}
