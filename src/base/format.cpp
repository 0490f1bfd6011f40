#include "base/format.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

class Out {
  public:
    Out(char* buf, size_t size) : buf_(buf), size_(size) {}
    void put(char c) {
        if (buf_ && len_ + 1 < size_) buf_[len_] = c;
        ++len_;
    }
    void repeat(char c, int n) {
        for (int i = 0; i < n; ++i) put(c);
    }
    void finish() {
        if (!buf_ || size_ == 0) return;
        buf_[len_ < size_ ? len_ : size_ - 1] = '\0';
    }
    int length() const { return int(len_); }

  private:
    char* buf_;
    size_t size_;
    size_t len_ = 0;
};

struct Spec {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = 0;
    int precision = -1;
};

// Writes the body (digits or text) with sign/prefix, padding and precision applied.
void emit(Out& out, const Spec& s, const char* prefix, const char* digits, int ndigits) {
    const int plen = int(std::strlen(prefix));
    int zeros = 0;
    if (s.precision >= 0 && ndigits < s.precision) zeros = s.precision - ndigits;
    int total = plen + zeros + ndigits;
    int pad = s.width > total ? s.width - total : 0;
    if (!s.left && !(s.zero && s.precision < 0)) out.repeat(' ', pad);
    for (int i = 0; i < plen; ++i) out.put(prefix[i]);
    if (!s.left && s.zero && s.precision < 0) out.repeat('0', pad);
    out.repeat('0', zeros);
    for (int i = 0; i < ndigits; ++i) out.put(digits[i]);
    if (s.left) out.repeat(' ', pad);
}

int to_digits(uint64_t v, unsigned base, bool upper, char* tmp) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char rev[24];
    int n = 0;
    do {
        rev[n++] = set[v % base];
        v /= base;
    } while (v);
    for (int i = 0; i < n; ++i) tmp[i] = rev[n - 1 - i];
    return n;
}

void format_integer(Out& out, Spec s, uint64_t magnitude, bool negative, unsigned base, bool upper,
                    bool is_signed) {
    char digits[24];
    int n = to_digits(magnitude, base, upper, digits);
    if (s.precision == 0 && magnitude == 0) n = 0;  // "%.0d" of 0 prints nothing
    char prefix[3] = {0, 0, 0};
    if (is_signed) {
        if (negative)
            prefix[0] = '-';
        else if (s.plus)
            prefix[0] = '+';
        else if (s.space)
            prefix[0] = ' ';
    } else if (s.alt && magnitude != 0) {
        if (base == 16) {
            prefix[0] = '0';
            prefix[1] = upper ? 'X' : 'x';
        } else if (base == 8 && !(n > 0 && digits[0] == '0')) {
            prefix[0] = '0';
        }
    }
    emit(out, s, prefix, digits, n);
}

void format_double(Out& out, Spec s, double v) {
    const int prec = s.precision < 0 ? 6 : (s.precision > 9 ? 9 : s.precision);
    char prefix[2] = {0, 0};
    bool negative = v < 0 || (v == 0 && std::signbit(v));
    if (negative) v = -v;
    if (negative)
        prefix[0] = '-';
    else if (s.plus)
        prefix[0] = '+';
    else if (s.space)
        prefix[0] = ' ';
    if (v != v) {
        Spec t = s;
        t.precision = -1;
        t.zero = false;
        emit(out, t, prefix, "nan", 3);
        return;
    }
    if (v > 1e18) {
        Spec t = s;
        t.precision = -1;
        t.zero = false;
        emit(out, t, prefix, "inf", 3);
        return;
    }
    uint64_t scale = 1;
    for (int i = 0; i < prec; ++i) scale *= 10;
    // Round half away from zero at the last printed digit.
    const double scaled = v * double(scale) + 0.5;
    uint64_t fixed = scaled >= 1.8e19 ? UINT64_MAX : uint64_t(scaled);
    const uint64_t whole = fixed / scale;
    const uint64_t frac = fixed % scale;
    char digits[48];
    int n = to_digits(whole, 10, false, digits);
    if (prec > 0 || s.alt) digits[n++] = '.';
    for (int i = prec - 1; i >= 0; --i) {
        uint64_t d = frac;
        for (int k = 0; k < i; ++k) d /= 10;
        digits[n++] = char('0' + d % 10);
    }
    Spec t = s;
    t.precision = -1;
    emit(out, t, prefix, digits, n);
}

}  // namespace

int kv_vsnprintf(char* buf, size_t size, const char* fmt, va_list args) {
    Out out(buf, size);
    for (const char* p = fmt; *p; ++p) {
        if (*p != '%') {
            out.put(*p);
            continue;
        }
        ++p;
        Spec s;
        for (;; ++p) {
            if (*p == '-')
                s.left = true;
            else if (*p == '+')
                s.plus = true;
            else if (*p == ' ')
                s.space = true;
            else if (*p == '0')
                s.zero = true;
            else if (*p == '#')
                s.alt = true;
            else
                break;
        }
        if (*p == '*') {
            s.width = va_arg(args, int);
            if (s.width < 0) {
                s.left = true;
                s.width = -s.width;
            }
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') s.width = s.width * 10 + (*p++ - '0');
        }
        if (*p == '.') {
            ++p;
            s.precision = 0;
            if (*p == '*') {
                s.precision = va_arg(args, int);
                if (s.precision < 0) s.precision = -1;
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') s.precision = s.precision * 10 + (*p++ - '0');
            }
        }
        if (s.width > 1000) s.width = 1000;
        int length = 0;  // 0 int, -1 short, -2 char, 1 long (32 bits), 2 long long, 3 size_t
        for (;; ++p) {
            if (*p == 'h')
                length = length == -1 ? -2 : -1;
            else if (*p == 'l')
                length = length == 1 ? 2 : 1;
            else if (*p == 'z')
                length = 3;
            else
                break;
        }
        const char c = *p;
        if (c == '\0') break;
        switch (c) {
            case 'd':
            case 'i': {
                int64_t v;
                // On the board size_t is 32 bits, unlike long long: the branches differ there.
                if (length == 2)
                    v = va_arg(args, long long);  // NOLINT(bugprone-branch-clone)
                else if (length == 1)
                    v = int32_t(va_arg(args, long));
                else if (length == 3)
                    v = int64_t(va_arg(args, size_t));
                else
                    v = va_arg(args, int);
                if (length == -1) v = int16_t(v);
                if (length == -2) v = int8_t(v);  // NOLINT(bugprone-signed-char-misuse): %hhd
                const bool neg = v < 0;
                const uint64_t mag = neg ? uint64_t(0) - uint64_t(v) : uint64_t(v);
                format_integer(out, s, mag, neg, 10, false, true);
                break;
            }
            case 'u':
            case 'x':
            case 'X':
            case 'o': {
                uint64_t v;
                if (length == 2)
                    v = va_arg(args, unsigned long long);  // NOLINT(bugprone-branch-clone)
                else if (length == 1)
                    v = uint32_t(va_arg(args, unsigned long));
                else if (length == 3)
                    v = va_arg(args, size_t);
                else
                    v = va_arg(args, unsigned);
                if (length == -1) v = uint16_t(v);
                if (length == -2) v = uint8_t(v);
                const unsigned base = c == 'u' ? 10 : (c == 'o' ? 8 : 16);
                format_integer(out, s, v, false, base, c == 'X', false);
                break;
            }
            case 'p': {
                const uint64_t v = uint64_t(reinterpret_cast<uintptr_t>(va_arg(args, void*)));
                s.alt = true;
                format_integer(out, s, v, false, 16, false, false);
                break;
            }
            case 'c': {
                const char ch = char(va_arg(args, int));
                Spec t = s;
                t.precision = -1;
                t.zero = false;
                emit(out, t, "", &ch, 1);
                break;
            }
            case 's': {
                const char* str = va_arg(args, const char*);
                if (!str) str = "(null)";
                int n = 0;
                while (str[n] && (s.precision < 0 || n < s.precision)) ++n;
                Spec t = s;
                t.precision = -1;
                t.zero = false;
                emit(out, t, "", str, n);
                break;
            }
            case 'f':
            case 'F':
                format_double(out, s, va_arg(args, double));
                break;
            case '%':
                out.put('%');
                break;
            default:
                // An unknown conversion is copied, so a mistake shows in the output.
                out.put('%');
                out.put(c);
                break;
        }
    }
    out.finish();
    return out.length();
}

int kv_snprintf(char* buf, size_t size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int n = kv_vsnprintf(buf, size, fmt, args);
    va_end(args);
    return n;
}
