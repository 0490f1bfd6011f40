#include "sim/screen.h"

#include <png.h>

#include <cstdio>

#include "src/device/board.h"

namespace sim {

namespace {

uint8_t expand5(uint16_t v) {
    return uint8_t((v << 3) | (v >> 2));
}
uint8_t expand6(uint16_t v) {
    return uint8_t((v << 2) | (v >> 4));
}

bool line(const Module& m, Gpio g) {
    return m.board().gpio[int(g)] != 0;
}

}  // namespace

bool panel_scanning(const Module& m) {
    const auto& b = m.board();
    const bool powered = !line(m, Gpio::kPanelPower);  // low = on
    return m.status() == Module::Status::kRunning && powered && b.lcd_signals && b.lcd_clock &&
           b.lcd_width != 0;
}

double backlight_level(const Module& m, const ScreenOptions& o) {
    if (!panel_scanning(m)) return 0.0;
    const bool enable_high = line(m, Gpio::kInverterEnable);
    if (enable_high != o.inverter_active_high) return 0.0;
    const auto& b = m.board();
    if (!b.pwm_enable) return 1.0;
    // The WVGA panel's inverter brightens as the pulse width falls; the SVGA and VGA panels'
    // as it rises.
    const double width = b.pwm_width / 255.0;
    return m.panel() == Panel::kWvga ? 1.0 - width : width;
}

std::vector<uint8_t> framebuffer_rgb(const Module& m) {
    return render_pixels(m.framebuffer(), m.width(), m.height(), ScreenLook{1.0, false, false});
}

ScreenLook screen_look(const Module& m, const ScreenOptions& o) {
    // The two orientation lines reverse the panel's horizontal and vertical scan.
    return ScreenLook{backlight_level(m, o), line(m, Gpio::kOrient0), line(m, Gpio::kOrient1)};
}

std::vector<uint8_t> render_pixels(const uint16_t* fb, int w, int h, const ScreenLook& look) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3, 0);
    if (look.level <= 0.0) return rgb;
    for (int y = 0; y < h; ++y) {
        const uint16_t* row = fb + size_t(look.flip_y ? h - 1 - y : y) * w;
        uint8_t* out = rgb.data() + size_t(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            const uint16_t p = row[look.flip_x ? w - 1 - x : x];
            const uint8_t c[3] = {expand5(p >> 11), expand6((p >> 5) & 0x3F), expand5(p & 0x1F)};
            for (int i = 0; i < 3; ++i) {
                // At full brightness the value stays exact (the frame buffer as RGB888).
                out[x * 3 + i] = look.level >= 1.0 ? c[i] : uint8_t(c[i] * look.level + 0.5);
            }
        }
    }
    return rgb;
}

std::vector<uint8_t> render_screen(const Module& m, const ScreenOptions& o) {
    return render_pixels(m.framebuffer(), m.width(), m.height(), screen_look(m, o));
}

namespace {

// Writes the rows through an encoder whose output is already set up; false on failure.
bool png_rows(png_structp png, png_infop info, int width, int height,
              const std::vector<uint8_t>& rgb) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, const_cast<png_bytep>(rgb.data() + size_t(y) * width * 3));
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

std::string encode_png(int width, int height, const std::vector<uint8_t>& rgb) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok) {
        png_set_write_fn(
            png, &out,
            [](png_structp p, png_bytep data, png_size_t n) {
                static_cast<std::string*>(png_get_io_ptr(p))
                    ->append(reinterpret_cast<const char*>(data), n);
            },
            nullptr);
        ok = png_rows(png, info, width, height, rgb);
    }
    png_destroy_write_struct(&png, &info);
    if (!ok) out.clear();
    return out;
}

bool write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
               std::string* error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok) {
        png_init_io(png, f);
        ok = png_rows(png, info, width, height, rgb);
    }
    png_destroy_write_struct(&png, &info);
    const bool closed = std::fclose(f) == 0;
    if (!ok && error) *error = "PNG encoding failed for " + path;
    return ok && closed;
}

}  // namespace sim
