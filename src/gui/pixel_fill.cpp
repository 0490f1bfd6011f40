#include "gui/pixel_fill.h"

#include <cwchar>

namespace gui {

void wide_fill(uint16_t* p, int n, uint16_t value) {
#if VOXA_GUI_WIDE_FILL
    if (reinterpret_cast<uintptr_t>(p) & 2) {
        *p++ = value;
        --n;
    }
    const uint32_t pair = uint32_t(value) * 0x10001u;
    std::wmemset(reinterpret_cast<wchar_t*>(p), wchar_t(pair), size_t(n) / 2);
    if (n & 1) p[n - 1] = value;
#else
    for (int i = 0; i < n; ++i) p[i] = value;  // never called without the wide fill
#endif
}

void invert16(uint16_t* p, int n) {
    int i = 0;
#if defined(__arm__)
    if (n > 0 && (reinterpret_cast<uintptr_t>(p) & 2)) {
        p[0] = uint16_t(~p[0]);
        i = 1;
    }
    Word32* w = reinterpret_cast<Word32*>(p + i);
    const int pairs = (n - i) / 2;
    for (int k = 0; k < pairs; ++k) w[k] = ~w[k];
    i += pairs * 2;
#else
    for (; i + 8 <= n; i += 8) {
        Pixels8 q;
        std::memcpy(&q, p + i, sizeof q);
        q = ~q;
        std::memcpy(p + i, &q, sizeof q);
    }
#endif
    for (; i < n; ++i) p[i] = uint16_t(~p[i]);
}

}  // namespace gui
