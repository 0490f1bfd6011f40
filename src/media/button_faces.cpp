// The faces are computed by the compiler from the description below, so the firmware carries
// only the finished pixels: a rounded key with a dark rim, a bevel lit from the top left and a
// vertical gradient on the face; the pressed face has the bevel reversed, a darker face and a
// highlight moved one pixel down and right, so the key looks pushed in.
#include "media/button_faces.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "gui/rgb565.h"

namespace {

constexpr int N = kButtonFaceSize;
constexpr int kCorner = 6;  // radius of the rounded corners
constexpr int kBevel = 3;   // bevel width inside the rim

struct Rgb {
    int r, g, b;
};

constexpr uint16_t pack(Rgb c) {
    return rgb565::pack(uint32_t(c.r), uint32_t(c.g), uint32_t(c.b));
}

constexpr Rgb mix(Rgb a, Rgb b, int t, int range) {
    return Rgb{a.r + (b.r - a.r) * t / range, a.g + (b.g - a.g) * t / range,
               a.b + (b.b - a.b) * t / range};
}

constexpr Rgb kOutside{192, 192, 192};
constexpr Rgb kRim{40, 44, 56};
constexpr Rgb kLight{236, 242, 255};
constexpr Rgb kShade{70, 84, 120};
constexpr Rgb kFaceTop{186, 204, 240};
constexpr Rgb kFaceBottom{108, 134, 196};
constexpr Rgb kPressedTop{88, 108, 160};
constexpr Rgb kPressedBottom{132, 154, 206};

constexpr int min4(int a, int b, int c, int d) {
    const int ab = a < b ? a : b, cd = c < d ? c : d;
    return ab < cd ? ab : cd;
}

constexpr uint16_t face_pixel(int x, int y, bool pressed) {
    // Distance into a rounded corner, squared (0 away from the corners).
    const int dx = x < kCorner ? kCorner - x : (x > N - 1 - kCorner ? x - (N - 1 - kCorner) : 0);
    const int dy = y < kCorner ? kCorner - y : (y > N - 1 - kCorner ? y - (N - 1 - kCorner) : 0);
    const int d2 = dx * dx + dy * dy;
    if (d2 > kCorner * kCorner + kCorner) return pack(kOutside);
    const int edge = min4(x, y, N - 1 - x, N - 1 - y);
    if (edge == 0 || d2 > (kCorner - 1) * (kCorner - 1) + (kCorner - 1)) return pack(kRim);
    if (edge <= kBevel) {
        // The top and left bevels face the light; the corners split on the diagonal.
        const bool top_left = (y == edge && x < N - 1 - y) || (x == edge && y < N - 1 - x);
        const bool light = top_left != pressed;
        return pack(light ? kLight : kShade);
    }
    const int off = pressed ? 1 : 0;
    const int t = y - kBevel - 1 - off < 0 ? 0 : y - kBevel - 1 - off;
    const int range = N - 2 * (kBevel + 1);
    Rgb c =
        pressed ? mix(kPressedTop, kPressedBottom, t, range) : mix(kFaceTop, kFaceBottom, t, range);
    // A soft highlight band across the upper part of the face.
    const int band = y - off - (kBevel + 6);
    if (band >= 0 && band < 4 && x - off > kBevel + 4 && x - off < N - kBevel - 6) {
        c = mix(c, kLight, 4 - band, pressed ? 12 : 6);
    }
    return pack(c);
}

constexpr std::array<uint8_t, N * N * 2> make_face(bool pressed) {
    std::array<uint8_t, N * N * 2> data{};
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            const uint16_t p = face_pixel(x, y, pressed);
            const std::size_t at = 2 * (std::size_t(y) * N + std::size_t(x));
            data[at] = uint8_t(p & 0xFF);
            data[at + 1] = uint8_t(p >> 8);
        }
    }
    return data;
}

constexpr std::array<uint8_t, N* N* 2> kUp = make_face(false);
constexpr std::array<uint8_t, N* N* 2> kDown = make_face(true);

}  // namespace

const GUI_BITMAP bmbbutton_up{N, N, 2 * N, 16, kUp.data(), nullptr, GUI_DRAW_BMP565, 0};
const GUI_BITMAP bmbbutton_dn{N, N, 2 * N, 16, kDown.data(), nullptr, GUI_DRAW_BMP565, 0};
