// The part of the C library the firmware and its libraries call, for a link without one, and the
// C++ run-time hooks a -nostdlib link of freestanding C++ still needs.
//
// Compiled with -fno-builtin and without loop-to-library-call rewriting, so that these loops
// are not turned back into calls of themselves.
#include <cstddef>
#include <cstdint>

extern "C" {

void* memcpy(void* __restrict dst, const void* __restrict src, size_t n) {
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    // Word copies when both are aligned alike: the frame buffer and file buffers move in bulk.
    if (((reinterpret_cast<uintptr_t>(d) ^ reinterpret_cast<uintptr_t>(s)) & 3) == 0) {
        while (n > 0 && (reinterpret_cast<uintptr_t>(d) & 3) != 0) {
            *d++ = *s++;
            --n;
        }
        auto* dw = reinterpret_cast<uint32_t*>(d);
        const auto* sw = reinterpret_cast<const uint32_t*>(s);
        for (; n >= 16; n -= 16) {
            dw[0] = sw[0];
            dw[1] = sw[1];
            dw[2] = sw[2];
            dw[3] = sw[3];
            dw += 4;
            sw += 4;
        }
        for (; n >= 4; n -= 4) *dw++ = *sw++;
        d = reinterpret_cast<uint8_t*>(dw);
        s = reinterpret_cast<const uint8_t*>(sw);
    }
    while (n-- > 0) *d++ = *s++;
    return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    if (d == s || n == 0) return dst;
    if (d < s || d >= s + n) return memcpy(dst, src, n);
    // Overlapping with the destination above the source: copy from the end.
    d += n;
    s += n;
    if (((reinterpret_cast<uintptr_t>(d) ^ reinterpret_cast<uintptr_t>(s)) & 3) == 0) {
        while (n > 0 && (reinterpret_cast<uintptr_t>(d) & 3) != 0) {
            *--d = *--s;
            --n;
        }
        auto* dw = reinterpret_cast<uint32_t*>(d);
        const auto* sw = reinterpret_cast<const uint32_t*>(s);
        for (; n >= 4; n -= 4) *--dw = *--sw;
        d = reinterpret_cast<uint8_t*>(dw);
        s = reinterpret_cast<const uint8_t*>(sw);
    }
    while (n-- > 0) *--d = *--s;
    return dst;
}

void* memset(void* dst, int value, size_t n) {
    auto* d = static_cast<uint8_t*>(dst);
    const auto byte = static_cast<uint8_t>(value);
    while (n > 0 && (reinterpret_cast<uintptr_t>(d) & 3) != 0) {
        *d++ = byte;
        --n;
    }
    const uint32_t word = byte * 0x01010101u;
    auto* dw = reinterpret_cast<uint32_t*>(d);
    for (; n >= 16; n -= 16) {
        dw[0] = word;
        dw[1] = word;
        dw[2] = word;
        dw[3] = word;
        dw += 4;
    }
    for (; n >= 4; n -= 4) *dw++ = word;
    d = reinterpret_cast<uint8_t*>(dw);
    while (n-- > 0) *d++ = byte;
    return dst;
}

int memcmp(const void* a, const void* b, size_t n) {
    const auto* p = static_cast<const uint8_t*>(a);
    const auto* q = static_cast<const uint8_t*>(b);
    for (; n > 0; --n, ++p, ++q) {
        if (*p != *q) return *p < *q ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* s, int c, size_t n) {
    const auto* p = static_cast<const uint8_t*>(s);
    for (; n > 0; --n, ++p) {
        if (*p == static_cast<uint8_t>(c)) return const_cast<uint8_t*>(p);
    }
    return nullptr;
}

size_t strlen(const char* s) {
    const char* p = s;
    while (*p != '\0') ++p;
    return static_cast<size_t>(p - s);
}

int strcmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const auto x = static_cast<unsigned char>(*a);
        const auto y = static_cast<unsigned char>(*b);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

int strncmp(const char* a, const char* b, size_t n) {
    for (; n > 0; --n, ++a, ++b) {
        const auto x = static_cast<unsigned char>(*a);
        const auto y = static_cast<unsigned char>(*b);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
    return 0;
}

char* strcpy(char* __restrict dst, const char* __restrict src) {
    char* d = dst;
    while ((*d++ = *src++) != '\0') {}
    return dst;
}

char* strncpy(char* __restrict dst, const char* __restrict src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i] != '\0'; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = '\0';
    return dst;
}

char* strcat(char* __restrict dst, const char* __restrict src) {
    strcpy(dst + strlen(dst), src);
    return dst;
}

char* strncat(char* __restrict dst, const char* __restrict src, size_t n) {
    char* d = dst + strlen(dst);
    for (; n > 0 && *src != '\0'; --n) *d++ = *src++;
    *d = '\0';
    return dst;
}

char* strchr(const char* s, int c) {
    const auto ch = static_cast<char>(c);
    for (;; ++s) {
        if (*s == ch) return const_cast<char*>(s);
        if (*s == '\0') return nullptr;
    }
}

char* strrchr(const char* s, int c) {
    const auto ch = static_cast<char>(c);
    const char* found = nullptr;
    for (;; ++s) {
        if (*s == ch) found = s;
        if (*s == '\0') return const_cast<char*>(found);
    }
}

char* strstr(const char* haystack, const char* needle) {
    const size_t n = strlen(needle);
    if (n == 0) return const_cast<char*>(haystack);
    for (; *haystack != '\0'; ++haystack) {
        if (*haystack == *needle && strncmp(haystack, needle, n) == 0) {
            return const_cast<char*>(haystack);
        }
    }
    return nullptr;
}

size_t strcspn(const char* s, const char* reject) {
    size_t i = 0;
    for (; s[i] != '\0'; ++i) {
        if (strchr(reject, s[i]) != nullptr) break;
    }
    return i;
}

// ---------------------------------------------------------------------------------------------
// Floating point. The drawings must come out as on the host, so sinf and cosf are computed in
// double and rounded once: the result is the correctly rounded one except within about 2^-29 of
// an ulp of a half-way case.

double floor(double x) {
    uint64_t bits;
    __builtin_memcpy(&bits, &x, sizeof bits);
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    if (exponent >= 52) return x;  // integral already, or infinite, or NaN
    if (exponent < 0) {
        // |x| < 1
        if ((bits & ~(uint64_t{1} << 63)) == 0) return x;  // keeps the sign of zero
        return (bits >> 63) != 0 ? -1.0 : 0.0;
    }
    const uint64_t fraction = (uint64_t{1} << (52 - exponent)) - 1;
    if ((bits & fraction) == 0) return x;
    if ((bits >> 63) != 0) bits += fraction + 1;  // towards minus infinity for negatives
    bits &= ~fraction;
    double result;
    __builtin_memcpy(&result, &bits, sizeof result);
    return result;
}

float floorf(float x) {
    uint32_t bits;
    __builtin_memcpy(&bits, &x, sizeof bits);
    const int exponent = static_cast<int>((bits >> 23) & 0xFF) - 127;
    if (exponent >= 23) return x;
    if (exponent < 0) {
        if ((bits & 0x7FFFFFFFu) == 0) return x;
        return (bits >> 31) != 0 ? -1.0f : 0.0f;
    }
    const uint32_t fraction = (1u << (23 - exponent)) - 1;
    if ((bits & fraction) == 0) return x;
    if ((bits >> 31) != 0) bits += fraction + 1;
    bits &= ~fraction;
    float result;
    __builtin_memcpy(&result, &bits, sizeof result);
    return result;
}

}  // extern "C"

namespace {

// pi/2 in three parts of 33 significant bits each (and the rest), so that k times a part is
// exact for k < 2^20.
constexpr double kPio2Part1 = 1.57079632673412561417e+00;
constexpr double kPio2Part2 = 6.07710050630396597660e-11;
constexpr double kPio2Part3 = 2.02226624871116645580e-21;
constexpr double kPio2Part3Tail = 8.47842766036889956997e-32;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;

bool is_finite(float x) {
    uint32_t bits;
    __builtin_memcpy(&bits, &x, sizeof bits);
    return ((bits >> 23) & 0xFF) != 0xFF;
}

// x reduced to r in about [-pi/4, pi/4] with x = r + quadrant * pi/2 (quadrant modulo 4).
double reduce(double x, int& quadrant) {
    double k = x * kTwoOverPi;
    k = floor(k + 0.5);
    double r;
    if (k < 1048576.0 && k > -1048576.0) {
        r = ((x - k * kPio2Part1) - k * kPio2Part2) - k * kPio2Part3 - k * kPio2Part3Tail;
    } else {
        // Far beyond any angle the firmware draws: reduce in steps of at most 2^19 quarter
        // turns, accepting the rounding of each step.
        r = x;
        double total = 0.0;
        while (r > 823549.0 || r < -823549.0) {
            double step = floor(r * kTwoOverPi + 0.5);
            if (step > 524288.0) step = 524288.0;
            if (step < -524288.0) step = -524288.0;
            r = ((r - step * kPio2Part1) - step * kPio2Part2) - step * kPio2Part3;
            total += step;
        }
        const double last = floor(r * kTwoOverPi + 0.5);
        r = ((r - last * kPio2Part1) - last * kPio2Part2) - last * kPio2Part3;
        k = total + last;
    }
    const double quarter = k - 4.0 * floor(k * 0.25);
    quadrant = static_cast<int>(quarter);
    return r;
}

// Taylor series to the 17th / 16th power: on |r| <= pi/4 the first omitted term is below 1e-19.
double sin_kernel(double r) {
    const double r2 = r * r;
    double sum = 1.0 / 355687428096000.0;    // 1/17!
    sum = sum * r2 - 1.0 / 1307674368000.0;  // 1/15!
    sum = sum * r2 + 1.0 / 6227020800.0;     // 1/13!
    sum = sum * r2 - 1.0 / 39916800.0;       // 1/11!
    sum = sum * r2 + 1.0 / 362880.0;         // 1/9!
    sum = sum * r2 - 1.0 / 5040.0;           // 1/7!
    sum = sum * r2 + 1.0 / 120.0;            // 1/5!
    sum = sum * r2 - 1.0 / 6.0;              // 1/3!
    return r + r * r2 * sum;
}

double cos_kernel(double r) {
    const double r2 = r * r;
    double sum = 1.0 / 20922789888000.0;   // 1/16!
    sum = sum * r2 - 1.0 / 87178291200.0;  // 1/14!
    sum = sum * r2 + 1.0 / 479001600.0;    // 1/12!
    sum = sum * r2 - 1.0 / 3628800.0;      // 1/10!
    sum = sum * r2 + 1.0 / 40320.0;        // 1/8!
    sum = sum * r2 - 1.0 / 720.0;          // 1/6!
    sum = sum * r2 + 1.0 / 24.0;           // 1/4!
    sum = sum * r2 - 0.5;                  // 1/2!
    return 1.0 + r2 * sum;
}

// sin(r + quadrant x pi/2) for a reduced r.
double sin_in_quadrant(double r, int quadrant) {
    switch (quadrant & 3) {
        case 0:
            return sin_kernel(r);
        case 1:
            return cos_kernel(r);
        case 2:
            return -sin_kernel(r);
        default:
            return -cos_kernel(r);
    }
}

float nan_of(float x) {
    return x - x;
}  // NaN for an infinity, and NaN stays NaN

}  // namespace

extern "C" {

float sinf(float x) {
    if (!is_finite(x)) return nan_of(x);
    if (x == 0.0f) return x;  // keeps the sign of zero
    int quadrant = 0;
    const double r = reduce(static_cast<double>(x), quadrant);
    return static_cast<float>(sin_in_quadrant(r, quadrant));
}

float cosf(float x) {
    if (!is_finite(x)) return nan_of(x);
    int quadrant = 0;
    const double r = reduce(static_cast<double>(x), quadrant);
    // cos x = sin(x + pi/2): one quadrant further on.
    return static_cast<float>(sin_in_quadrant(r, quadrant + 1));
}

// ---------------------------------------------------------------------------------------------
// C++ run-time support

// A pure virtual function called during construction or destruction: a bug with no way on.
void __cxa_pure_virtual() {
    for (;;) {}
}

// Static objects live until reset: their destructors are never registered.
void* __dso_handle = nullptr;
int __cxa_atexit(void (*)(void*), void*, void*) {
    return 0;
}
int __aeabi_atexit(void*, void (*)(void*), void*) {
    return 0;
}

// Function-local statics: there is one thread, and interrupt handlers do not construct any.
int __cxa_guard_acquire(uint32_t* guard) {
    return *reinterpret_cast<volatile uint8_t*>(guard) == 0 ? 1 : 0;
}
void __cxa_guard_release(uint32_t* guard) {
    *reinterpret_cast<volatile uint8_t*>(guard) = 1;
}
void __cxa_guard_abort(uint32_t*) {}

// Referenced by unwind tables of objects built without exceptions; never called, since nothing
// throws.
void __aeabi_unwind_cpp_pr0() {
    for (;;) {}
}
void __aeabi_unwind_cpp_pr1() {
    for (;;) {}
}

}  // extern "C"
