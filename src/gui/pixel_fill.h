// Internals of the graphics library: filling and inverting runs of RGB565 pixels. Every
// processor-specific way of storing pixels lives here and nowhere else in the library: vector
// stores on the PC, word stores on the ARM926, and on a PC with glibc the C library's 32-bit fill
// for long runs. Not for use outside src/gui.
#pragma once

#include <cstdint>
#include <cstring>

namespace gui {

// Eight pixels in one value: the compiler maps it onto the widest registers the processor has.
// Loads and stores go through memcpy, which compiles to single unaligned vector moves on the PC
// and keeps the pixels' 2-byte alignment legal everywhere.
using Pixels8 = uint16_t __attribute__((vector_size(16)));
using Word32 = uint32_t __attribute__((may_alias));

// Runs of this many pixels and more go to the C library's wide fill where there is one (it
// streams whole cache lines, as its memset does, which no store loop matches on a full screen):
// glibc's wmemset on a 32-bit wchar_t.
#if defined(__GLIBC__) && __WCHAR_MAX__ > 0xFFFF
#define VOXA_GUI_WIDE_FILL 1
#else
#define VOXA_GUI_WIDE_FILL 0
#endif
constexpr bool kHasWideFill = VOXA_GUI_WIDE_FILL;
constexpr int kWideFillFrom = 1024;
void wide_fill(uint16_t* p, int n, uint16_t value);

// Fills runs with one pixel value; how is decided once, when the value is known, so that a
// caller filling many rows pays for the choice only once.
class PixelFill {
  public:
    explicit PixelFill(uint16_t value)
        : value_(value), bytes_equal_(uint8_t(value) == uint8_t(value >> 8)), v8_{value, value,
                                                                                  value, value,
                                                                                  value, value,
                                                                                  value, value} {}

    void operator()(uint16_t* p, int n) const {
        if (n <= 0) return;
        if (bytes_equal_) {
            std::memset(p, value_ & 0xFF, size_t(n) * 2);
        } else if (kHasWideFill && n >= kWideFillFrom) {
            wide_fill(p, n, value_);
        } else if (n < 8) {
            for (int i = 0; i < n; ++i) p[i] = value_;
        } else {
            run(p, n);
        }
    }

  private:
    // At least eight pixels.
    void run(uint16_t* p, int n) const {
#if defined(__arm__)
        // The ARM926 has no vector unit: word stores from a word boundary, which the compiler
        // groups into store-multiples.
        if (reinterpret_cast<uintptr_t>(p) & 2) {
            *p++ = value_;
            --n;
        }
        Word32* w = reinterpret_cast<Word32*>(p);
        const uint32_t pair = uint32_t(value_) * 0x10001u;
        for (int k = 0; k < n / 2; ++k) w[k] = pair;
        if (n & 1) p[n - 1] = value_;
#else
        int i = 0;
        for (; i + 16 <= n; i += 16) {
            std::memcpy(p + i, &v8_, sizeof v8_);
            std::memcpy(p + i + 8, &v8_, sizeof v8_);
        }
        if (i + 8 <= n) std::memcpy(p + i, &v8_, sizeof v8_);
        // The last eight pixels overlap what is done: no pixel loop for the rest.
        std::memcpy(p + n - 8, &v8_, sizeof v8_);
#endif
    }

    uint16_t value_;
    bool bytes_equal_;
    Pixels8 v8_;
};

inline void fill16(uint16_t* p, int n, uint16_t value) {
    const PixelFill fill(value);
    fill(p, n);
}

// Inverts n pixels (XOR 0xFFFF).
void invert16(uint16_t* p, int n);

}  // namespace gui
