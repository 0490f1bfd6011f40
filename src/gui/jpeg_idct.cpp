// The inverse DCT and the colour conversion of the JPEG decoder.
//
// The IDCT is the Loeffler-Ligtenberg-Moschytz factorisation (12 multiplications per 8-point
// pass) in 13-bit fixed point, columns first with 2 extra bits of precision kept between the
// passes. It is computed in wrapping 32-bit arithmetic: a corrupt stream can carry coefficients
// that overflow the intermediate sums, and those must give wild pixels, not undefined behaviour.
// Valid data never come near the limit.
#include <array>
#include <cstdint>
#include <cstring>

#include "gui/jpeg_internal.h"
#include "gui/rgb565.h"

namespace gui::jpeg {

namespace {

constexpr std::array<uint8_t, 64> make_zigzag() {
    std::array<uint8_t, 64> z{};
    int row = 0, col = 0;
    for (int k = 0; k < 64; ++k) {
        z[std::size_t(k)] = uint8_t(row * 8 + col);
        // Odd diagonals run down-left, even ones up-right.
        if ((row + col) % 2 == 0) {
            if (col == 7) {
                ++row;
            } else if (row == 0) {
                ++col;
            } else {
                --row;
                ++col;
            }
        } else {
            if (row == 7) {
                ++col;
            } else if (col == 0) {
                ++row;
            } else {
                ++row;
                --col;
            }
        }
    }
    return z;
}
constexpr std::array<uint8_t, 64> kZigZagTable = make_zigzag();
static_assert(kZigZagTable[1] == 1 && kZigZagTable[2] == 8 && kZigZagTable[3] == 16 &&
              kZigZagTable[63] == 63 && kZigZagTable[62] == 62 && kZigZagTable[61] == 55);

using U = uint32_t;

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
// The constants are all positive: rounding half up is rounding to nearest.
constexpr U fix(double x) {
    const double scaled = x * (1 << kConstBits);
    const int32_t whole = int32_t(scaled);
    return U(whole + (scaled - whole >= 0.5 ? 1 : 0));
}
constexpr U kF0298 = fix(0.298631336), kF0390 = fix(0.390180644), kF0541 = fix(0.541196100),
            kF0765 = fix(0.765366865), kF0899 = fix(0.899976223), kF1175 = fix(1.175875602),
            kF1501 = fix(1.501321110), kF1847 = fix(1.847759065), kF1961 = fix(1.961570560),
            kF2053 = fix(2.053119869), kF2562 = fix(2.562915447), kF3072 = fix(3.072711026);

// Arithmetic shift of a wrapped value (two's complement, as C++20 defines the conversion).
inline int32_t shr(U x, int n) {
    return int32_t(x) >> n;
}

// The 8-point transform of in0..in7, each output i handed to out.put<i>: even and odd parts
// meet in the last butterfly, out[i] = e[i] + o[i] and out[7 - i] = e[i] - o[i]. bias is added
// to every output (the rounding of the pass, folded into the even part). Outputs go straight
// where they belong rather than through arrays, which compilers tend to keep in memory.
template <typename Out>
inline void transform(U in0, U in1, U in2, U in3, U in4, U in5, U in6, U in7, U bias, Out out) {
    U z1 = (in2 + in6) * kF0541;
    const U t2 = z1 - in6 * kF1847;
    const U t3 = z1 + in2 * kF0765;
    const U t0 = ((in0 + in4) << kConstBits) + bias;
    const U t1 = ((in0 - in4) << kConstBits) + bias;
    const U e0 = t0 + t3, e3 = t0 - t3, e1 = t1 + t2, e2 = t1 - t2;

    z1 = in7 + in1;
    U z2 = in5 + in3;
    U z3 = in7 + in3;
    U z4 = in5 + in1;
    const U z5 = (z3 + z4) * kF1175;
    z1 = 0u - z1 * kF0899;
    z2 = 0u - z2 * kF2562;
    z3 = z5 - z3 * kF1961;
    z4 = z5 - z4 * kF0390;
    const U o3 = in7 * kF0298 + z1 + z3;
    const U o2 = in5 * kF2053 + z2 + z4;
    const U o1 = in3 * kF3072 + z2 + z3;
    const U o0 = in1 * kF1501 + z1 + z4;
    out.template put<0>(e0 + o0);
    out.template put<7>(e0 - o0);
    out.template put<1>(e1 + o1);
    out.template put<6>(e1 - o1);
    out.template put<2>(e2 + o2);
    out.template put<5>(e2 - o2);
    out.template put<3>(e3 + o3);
    out.template put<4>(e3 - o3);
}

// Where the first pass leaves its results: one column of the workspace (or 8 values), scaled
// down to the precision kept between the passes.
struct ToWorkspace {
    U* w;
    int step;
    template <int I>
    void put(U v) const {
        w[I * step] = U(shr(v, kConstBits - kPass1Bits));
    }
};
// The second pass: samples of one row.
struct ToSamples {
    uint8_t* o;
    template <int I>
    void put(U v) const;
};

}  // namespace

const uint8_t kZigZag[64] = {
#define Z(i) kZigZagTable[i]
    Z(0),  Z(1),  Z(2),  Z(3),  Z(4),  Z(5),  Z(6),  Z(7),  Z(8),  Z(9),  Z(10), Z(11), Z(12),
    Z(13), Z(14), Z(15), Z(16), Z(17), Z(18), Z(19), Z(20), Z(21), Z(22), Z(23), Z(24), Z(25),
    Z(26), Z(27), Z(28), Z(29), Z(30), Z(31), Z(32), Z(33), Z(34), Z(35), Z(36), Z(37), Z(38),
    Z(39), Z(40), Z(41), Z(42), Z(43), Z(44), Z(45), Z(46), Z(47), Z(48), Z(49), Z(50), Z(51),
    Z(52), Z(53), Z(54), Z(55), Z(56), Z(57), Z(58), Z(59), Z(60), Z(61), Z(62), Z(63)
#undef Z
};

namespace {

// Output samples, level-shifted, to 0..255 through a table: an index of the value's low 10 bits
// covers -384..639, far beyond what valid data overshoot; corrupt data wrap around in range.
constexpr std::array<uint8_t, 1024> make_range() {
    std::array<uint8_t, 1024> t{};
    for (int i = 0; i < 1024; ++i) t[std::size_t(i)] = uint8_t(i < 256 ? i : i < 640 ? 255 : 0);
    return t;
}
constexpr std::array<uint8_t, 1024> kRange = make_range();

inline uint8_t range(U v) {
    return kRange[v & 1023];
}

template <int I>
void ToSamples::put(U v) const {
    o[I] = range(U(shr(v, kConstBits + kPass1Bits + 3)));
}

template <bool kQuant>
inline U load(const int16_t* coef, const uint16_t* quant, int i) {
    return kQuant ? U(int32_t(coef[i]) * int32_t(quant[i])) : U(coef[i]);
}

template <bool kQuant>
void idct(const int16_t* coef, const uint16_t* quant, uint32_t columns, uint8_t* out, int stride) {
    constexpr U round1 = U(1) << (kConstBits - kPass1Bits - 1);
    if (columns <= 1) {
        // Only column 0: after the first pass every row holds one value, so each output row is
        // flat and only its DC term needs the second pass.
        if (columns == 0) {
            for (int r = 0; r < 8; ++r) std::memset(out + r * stride, 128, 8);
            return;
        }
        const int16_t* p = coef;
        if ((p[8] | p[16] | p[24] | p[32] | p[40] | p[48] | p[56]) == 0) {
            // DC only: the whole block is one value.
            const uint8_t v = range(U(shr(load<kQuant>(p, quant, 0) + 4, 3) + 128));
            for (int r = 0; r < 8; ++r) std::memset(out + r * stride, v, 8);
            return;
        }
        U ws[8];
        transform(load<kQuant>(p, quant, 0), load<kQuant>(p, quant, 8), load<kQuant>(p, quant, 16),
                  load<kQuant>(p, quant, 24), load<kQuant>(p, quant, 32),
                  load<kQuant>(p, quant, 40), load<kQuant>(p, quant, 48),
                  load<kQuant>(p, quant, 56), round1, ToWorkspace{ws, 1});
        for (int r = 0; r < 8; ++r) {
            const uint8_t v =
                range(U(shr(ws[r] + (U(1) << (kPass1Bits + 2)), kPass1Bits + 3) + 128));
            std::memset(out + r * stride, v, 8);
        }
        return;
    }

    U ws[64];
    for (int c = 0; c < 8; ++c) {
        U* w = ws + c;
        if (!(columns >> c & 1)) {
            for (int r = 0; r < 8; ++r) w[r * 8] = 0;
            continue;
        }
        const int16_t* p = coef + c;
        const uint16_t* q = kQuant ? quant + c : nullptr;
        if ((p[8] | p[16] | p[24] | p[32] | p[40] | p[48] | p[56]) == 0) {
            const U dc = load<kQuant>(p, q, 0) << kPass1Bits;
            for (int r = 0; r < 8; ++r) w[r * 8] = dc;
            continue;
        }
        transform(load<kQuant>(p, q, 0), load<kQuant>(p, q, 8), load<kQuant>(p, q, 16),
                  load<kQuant>(p, q, 24), load<kQuant>(p, q, 32), load<kQuant>(p, q, 40),
                  load<kQuant>(p, q, 48), load<kQuant>(p, q, 56), round1, ToWorkspace{w, 8});
    }

    // Rounding and the level shift of +128, folded into the DC term before it is scaled up.
    constexpr U bias2 = (U(1) << (kPass1Bits + 2)) + (U(128) << (kPass1Bits + 3));
    for (int r = 0; r < 8; ++r) {
        const U* w = ws + r * 8;
        uint8_t* o = out + r * stride;
        if ((w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) == 0) {
            std::memset(o, range(U(shr(w[0] + bias2, kPass1Bits + 3))), 8);
            continue;
        }
        transform(w[0] + bias2, w[1], w[2], w[3], w[4], w[5], w[6], w[7], 0, ToSamples{o});
    }
}

}  // namespace

void idct_block(const int16_t* coef, const uint16_t* quant, uint32_t columns, uint8_t* out,
                int stride) {
    if (quant) {
        idct<true>(coef, quant, columns, out, stride);
    } else {
        idct<false>(coef, nullptr, columns, out, stride);
    }
}

namespace {

// Each 565 field of a channel value v in [-256, 511] (index v + 256), clamped to 0..255 first:
// sums of luma and a chroma term can leave the range by a little.
constexpr int kClampBias = 256;
struct FieldTables {
    uint16_t r[768], g[768], b[768];
};
constexpr FieldTables make_fields() {
    FieldTables t{};
    for (int i = 0; i < 768; ++i) {
        const int v = i - kClampBias;
        const uint32_t c = v < 0 ? 0u : v > 255 ? 255u : uint32_t(v);
        t.r[i] = rgb565::pack(c, 0, 0);
        t.g[i] = rgb565::pack(0, c, 0);
        t.b[i] = rgb565::pack(0, 0, c);
    }
    return t;
}
constexpr FieldTables kFields = make_fields();

// YCbCr to RGB as JFIF defines it, the factors in 16-bit fixed point, rounded to nearest.
constexpr int32_t kCrR = 91881;   // 1.402
constexpr int32_t kCbG = 22554;   // 0.344136
constexpr int32_t kCrG = 46802;   // 0.714136
constexpr int32_t kCbB = 116130;  // 1.772
constexpr int32_t kHalf = 1 << 15;

// One chroma sample's three terms, as offsets into the field tables.
struct Chroma {
    const uint16_t *r, *g, *b;
    Chroma(uint8_t cb8, uint8_t cr8) {
        const int32_t cb = int32_t(cb8) - 128, cr = int32_t(cr8) - 128;
        r = kFields.r + kClampBias + ((kCrR * cr + kHalf) >> 16);
        g = kFields.g + kClampBias + ((kHalf - kCbG * cb - kCrG * cr) >> 16);
        b = kFields.b + kClampBias + ((kCbB * cb + kHalf) >> 16);
    }
    uint16_t operator()(uint8_t y) const { return uint16_t(r[y] | g[y] | b[y]); }
};

// HS/VS: luma has 2^HS columns and 2^VS rows for each chroma sample.
template <int HS, int VS>
void convert(const McuPlanes& planes, uint16_t* out) {
    for (int cy = 0; cy < 8; ++cy) {
        const uint8_t* cbrow = planes.cb + cy * 8;
        const uint8_t* crrow = planes.cr + cy * 8;
        const uint8_t* y0 = planes.y + (cy << VS) * 16;
        uint16_t* o0 = out + (cy << VS) * 16;
        for (int cx = 0; cx < 8; ++cx) {
            const Chroma c(cbrow[cx], crrow[cx]);
            const int x = cx << HS;
            o0[x] = c(y0[x]);
            if constexpr (HS) o0[x + 1] = c(y0[x + 1]);
            if constexpr (VS) {
                o0[x + 16] = c(y0[x + 16]);
                if constexpr (HS) o0[x + 17] = c(y0[x + 17]);
            }
        }
    }
}

}  // namespace

void ycc_to_565(const McuPlanes& planes, bool h2, bool v2, uint16_t* out) {
    if (h2) {
        if (v2) {
            convert<1, 1>(planes, out);
        } else {
            convert<1, 0>(planes, out);
        }
    } else if (v2) {
        convert<0, 1>(planes, out);
    } else {
        convert<0, 0>(planes, out);
    }
}

void grey_to_565(const uint8_t* y, uint16_t* out) {
    const Chroma grey(128, 128);
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) out[r * 16 + c] = grey(y[r * 16 + c]);
    }
}

}  // namespace gui::jpeg
