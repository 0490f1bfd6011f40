// What the fuzz targets share: a reader that turns the input's bytes into pieces of command
// lines, and the fence that stops a write outside the screen's pixels.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/scan.h"
#include "base/text_helpers.h"
#include "boards/sim/standalone.h"
#include "command/parse_command.h"
#include "core/main_loop.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/timebase.h"
#include "gui/gui.h"
#include "settings/settings.h"

#include <sys/mman.h>
#include <unistd.h>

namespace fuzz {

// The WVGA build the targets link: the rest of the frame buffer lies beyond the screen.
constexpr uint32_t kScreenPixels = 800u * 480u;
constexpr uint16_t kBeyond = 0x5AA5;

// Everything around the screen's pixels (the guard zones before and after the board's frame
// buffer, and the part of the buffer beyond the WVGA screen) is filled with a pattern and then
// made read-only, so that a write there stops the target at once, with ASan's report of the very
// store. Only the bits of pages the screen shares with its surroundings stay writable; they are
// compared after each command line, which costs a few kilobytes, not the whole surroundings.
class ScreenFence {
  public:
    void raise(sim::Standalone& board) {
        uint16_t* fb = lcd_framebuffer();
        for (uint32_t i = kScreenPixels; i < kFrameBufferMaxPixels; ++i) fb[i] = kBeyond;
        board.reset_guards();
        const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
        const uintptr_t below = uintptr_t(fb - sim::Standalone::kGuardPixels);
        const uintptr_t screen_end = uintptr_t(fb + kScreenPixels);
        const uintptr_t above =
            uintptr_t(fb + kFrameBufferMaxPixels + sim::Standalone::kGuardPixels);
        if (below % page != 0 || uintptr_t(fb) % page != 0) {
            std::fprintf(stderr, "the board's frame buffer is not page-aligned\n");
            std::abort();
        }
        protect(below, uintptr_t(fb));
        const uintptr_t from = (screen_end + page - 1) / page * page;
        const uintptr_t to = above / page * page;
        protect(from, to);
        head_ = reinterpret_cast<const uint8_t*>(screen_end);
        head_size_ = from - screen_end;
        tail_ = reinterpret_cast<const uint8_t*>(to);
        tail_size_ = above - to;
        keep(head_, head_size_, head_copy_);
        keep(tail_, tail_size_, tail_copy_);
    }

    // Aborts, naming what ran last, when the writable bits around the screen have changed.
    void check(const char* after) const {
        if (std::memcmp(head_, head_copy_, head_size_) != 0 ||
            std::memcmp(tail_, tail_copy_, tail_size_) != 0) {
            std::fprintf(stderr, "write outside the screen after: %s\n", after);
            std::abort();
        }
    }

  private:
    static constexpr size_t kMaxPage = 65536;

    static void protect(uintptr_t from, uintptr_t to) {
        if (to > from && mprotect(reinterpret_cast<void*>(from), to - from, PROT_READ) != 0) {
            std::perror("mprotect");
            std::abort();
        }
    }
    static void keep(const uint8_t* p, size_t n, uint8_t* copy) {
        if (n > kMaxPage) std::abort();
        std::memcpy(copy, p, n);
    }

    const uint8_t* head_ = nullptr;
    size_t head_size_ = 0;
    const uint8_t* tail_ = nullptr;
    size_t tail_size_ = 0;
    uint8_t head_copy_[kMaxPage];
    uint8_t tail_copy_[kMaxPage];
};

inline ScreenFence& screen_fence() {
    static ScreenFence fence;
    return fence;
}

// Reads the input from the front; past its end every byte is 0.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool done() const { return p_ >= end_; }
    uint8_t byte() { return p_ < end_ ? *p_++ : 0; }

    // A number: mostly one of the table's edge values, else one made of the input's bytes,
    // 16 or 32 bits, either sign.
    template <size_t N>
    std::string number(const char* const (&table)[N]) {
        const uint8_t b = byte();
        if (b < 0xC0) return table[b % N];
        int32_t v = int32_t(uint32_t(byte()) | uint32_t(byte()) << 8);
        if (b & 1) v = int32_t(uint32_t(v) << 16 | byte());
        if (b & 2) v = int32_t(0u - uint32_t(v));
        return std::to_string(v);
    }

    // The input's bytes up to the next line feed, at most 128 of them.
    std::string raw_line() {
        std::string s;
        while (p_ < end_ && *p_ != '\n' && s.size() < 128) s.push_back(char(*p_++));
        if (p_ < end_) ++p_;
        return s;
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// What the command targets start from once: default settings, both ports, the tick, the library.
inline void start_command_firmware(sim::Standalone& board) {
    interrupt_init();
    KV_EEPROM_SetDefaults();
    KV_COM_Init0();
    KV_COM_Init1();
    KV_TimerInit();
    KV_GUI_Init();
    screen_fence().raise(board);
}

// Whether a line's virtual time stays within a second: "w n" waits n ms, as long as the module
// would (only the host's ESC ends it sooner), and "*speedtest" multiplies whatever its command
// costs, nested ones the product of their counts. A long run would pass for a hang.
inline bool bounded_in_time(const char* text) {
    uint64_t runs = 1;
    const char* command = text;
    for (const char* p = text; (p = std::strstr(p, "*speedtest")) != nullptr; ++p) {
        int count;
        if (kv_sscanf(p, "%*s %d", &count) == 1 && count > 1) runs *= uint64_t(count);
        if (runs > 64) return false;
        const char* open = std::strchr(p, '<');
        if (open) command = open + 1;
    }
    // "w n" and "beepw n" wait n ms of virtual time, as long as the module would; a long one
    // would pass for a hang.
    unsigned wait_ms;
    if (kv_sscanf(command, "w %u", &wait_ms) != 1 &&
        kv_sscanf(command, "beepw %u", &wait_ms) != 1) {
        return true;
    }
    return runs * wait_ms <= 1000;
}

// The template with each "%c" replaced by piece(c).
template <typename Piece>
std::string fill_template(const char* tmpl, Piece piece) {
    std::string out;
    for (const char* t = tmpl; *t; ++t) {
        if (t[0] == '%' && t[1] != 0) {
            out += piece(*++t);
        } else {
            out.push_back(*t);
        }
    }
    return out;
}

// Runs up to max_lines command lines made from the input through parse_command: a pick byte of
// 0xF0 or more takes a raw line of the input, any other the template it names, its "%c" holes
// filled by piece(c). Each line lies in a buffer of exactly its size, so that ASan catches a read
// past its end, and the screen fence is checked after every line.
template <typename Reader, size_t N, typename Piece>
void run_command_lines(sim::Standalone& board, Reader& in, const char* const (&templates)[N],
                       int max_lines, Piece piece) {
    for (int lines = 0; !in.done() && lines < max_lines; ++lines) {
        const uint8_t pick = in.byte();
        std::string text = pick >= 0xF0 ? in.raw_line() : fill_template(templates[pick % N], piece);
        if (text.size() > 128) text.resize(128);
        if (!bounded_in_time(text.c_str())) continue;
        // A register dump sends a line per register; the whole block would take minutes.
        unsigned reg_from, reg_to;
        if (kv_sscanf(text.c_str(), "*R %x %x", &reg_from, &reg_to) == 2 && reg_to > reg_from &&
            reg_to - reg_from > 0x400) {
            continue;
        }
        // The timing adjustment waits for keys from the host, which no input here sends.
        if (prefix(text.c_str(), "*paneladj") || prefix(text.c_str(), "*touchadj")) continue;
        // A reset ends the firmware's run; in one process it cannot start again (the tests run
        // resets in a forked copy of the board instead).
        if (prefix(text.c_str(), "*RESET") || prefix(text.c_str(), "*MFGRESET")) continue;
        char* line = new char[text.size() + 1];
        std::memcpy(line, text.c_str(), text.size() + 1);
        parse_command(line);
        delete[] line;
        screen_fence().check(text.c_str());
    }
    board.take_output(kCom0);
    board.take_output(kCom1);
}

}  // namespace fuzz
