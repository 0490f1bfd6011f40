#include "harness/harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

#include "sim/touch_spec.h"

namespace voxa_test {

namespace {

constexpr double kStepMs = 1.0;

bool ends_with_prompt(const std::string& s) {
    if (s.size() < 2 || s.back() != '\r') return false;
    const char p = s[s.size() - 2];
    return p == '>' || p == '!' || p == '#' || p == '^';
}

sim::Module::Options with_panel(sim::Panel panel) {
    sim::Module::Options o;
    o.panel = panel;
    return o;
}

}  // namespace

Harness::Harness(sim::Panel panel) : module_(with_panel(panel)) {}
Harness::Harness(sim::Module::Options options) : module_(std::move(options)) {}

bool Harness::flash2(const std::vector<uint8_t>& bytes) {
    std::string error;
    const bool ok = module_.write_flash2(bytes, &error);
    EXPECT_TRUE(ok) << "Flash2 window: " << error;
    return ok;
}

std::string Harness::boot() {
    module_.power_on();
    return run_until_text(">\r", 5000);
}

std::string Harness::command(std::string_view line, double max_ms) {
    std::string bytes(line);
    bytes.push_back('\r');
    send(bytes);
    std::string out;
    for (double t = 0; t < max_ms; t += kStepMs) {
        run_ms(kStepMs);
        out += take();
        if (ends_with_prompt(out)) break;
    }
    return out;
}

std::string Harness::run_until_text(std::string_view text, double max_ms, int port) {
    std::string out;
    for (double t = 0; t < max_ms; t += kStepMs) {
        run_ms(kStepMs);
        out += take(port);
        if (out.find(text) != std::string::npos) break;
    }
    return out;
}

bool Harness::touch(int x, int y, int pressure) {
    const bool ok = module_.touch(x, y, pressure);
    EXPECT_TRUE(ok) << "touch " << x << "," << y << " is off the panel";
    return ok;
}

bool Harness::move(int x, int y) {
    const bool ok = module_.move(x, y);
    EXPECT_TRUE(ok) << "move to " << x << "," << y << ": off the panel or no finger down";
    return ok;
}

bool Harness::drag(int x, int y, double ms) {
    const bool ok = module_.drag(x, y, ms);
    EXPECT_TRUE(ok) << "drag to " << x << "," << y << ": off the panel or no finger down";
    return ok;
}

bool Harness::tap(int x, int y, double ms, int pressure) {
    if (!touch(x, y, pressure)) return false;
    run_ms(ms);
    release();
    return true;
}

bool Harness::panel(std::string_view words) {
    simlink::TouchPanelConfig config = module_.touch_panel();
    std::string error;
    const bool ok = sim::apply_touch_panel_spec(words, &config, &error);
    EXPECT_TRUE(ok) << error;
    if (ok) module_.set_touch_panel(config);
    return ok;
}

uint32_t Harness::framebuffer_crc() const {
    uint32_t crc = 0xFFFFFFFFu;
    const auto* p = reinterpret_cast<const uint8_t*>(module_.framebuffer());
    const size_t n = size_t(module_.width()) * module_.height() * 2;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string visible(std::string_view bytes) {
    std::string s;
    for (const unsigned char c : bytes) {
        if (c == '\r') {
            s += "\\r";
        } else if (c >= 0x20 && c < 0x7F) {
            s += char(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            s += buf;
        }
    }
    return s;
}

}  // namespace voxa_test
