#include "sim/touch_spec.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace sim {

namespace {

bool parse_int(std::string_view text, long low, long high, long* out) {
    if (text.empty() || text.size() > 12) return false;
    const std::string s(text);
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (errno || *end || v < low || v > high) return false;
    *out = v;
    return true;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    size_t at = 0;
    for (;;) {
        const size_t next = text.find(sep, at);
        parts.push_back(text.substr(at, next == std::string_view::npos ? next : next - at));
        if (next == std::string_view::npos) return parts;
        at = next + 1;
    }
}

}  // namespace

bool apply_touch_panel_spec(std::string_view spec, simlink::TouchPanelConfig* config,
                            std::string* error) {
    simlink::TouchPanelConfig c = *config;
    bool any = false;
    for (const std::string_view word : split(spec, ' ')) {
        if (word.empty()) continue;
        any = true;
        if (word == "default") {
            c = simlink::default_touch_panel(config->width, config->height);
            continue;
        }
        const size_t eq = word.find('=');
        const std::string_view key = word.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? "" : word.substr(eq + 1);
        const std::string shown(word);
        long v = 0;
        if (key == "corners") {
            const auto parts = split(value, ',');
            bool ok = parts.size() == 8;
            for (size_t i = 0; ok && i < 8; ++i) {
                ok = parse_int(parts[i], 0, 1023, &v);
                c.corners[i] = int16_t(v);
            }
            if (!ok) {
                *error = "'" + shown + "': corners needs eight raw values 0-1023";
                return false;
            }
        } else if (key == "swap") {
            if (!parse_int(value, 0, 1, &v)) {
                *error = "'" + shown + "': swap is 0 or 1";
                return false;
            }
            c.swap = uint8_t(v);
        } else if (key == "noise") {
            if (!parse_int(value, 0, 1023, &v)) {
                *error = "'" + shown + "': noise is 0-1023 raw units";
                return false;
            }
            c.noise = uint16_t(v);
        } else if (key == "seed") {
            if (!parse_int(value, 0, 4294967295L, &v)) {
                *error = "'" + shown + "': seed is 0-4294967295";
                return false;
            }
            c.seed = uint32_t(v);
        } else if (key == "pressure") {
            if (!parse_int(value, 0, 65535, &v)) {
                *error = "'" + shown + "': pressure is 0-65535";
                return false;
            }
            c.pressure = uint16_t(v);
        } else if (key == "temp") {
            const std::string s(value);
            errno = 0;
            char* end = nullptr;
            const double t = s.empty() ? NAN : std::strtod(s.c_str(), &end);
            if (s.empty() || errno || *end || !std::isfinite(t) || t < -300 || t > 300) {
                *error = "'" + shown + "': temp is degrees Celsius, -300 to 300";
                return false;
            }
            c.temperature = int16_t(std::lround(t * 10));
        } else {
            *error = "unknown panel setting '" + shown +
                     "' (corners=, swap=, noise=, seed=, pressure=, temp= or default)";
            return false;
        }
    }
    if (!any) {
        *error = "a panel needs settings, e.g. noise=3 or default";
        return false;
    }
    *config = c;
    return true;
}

}  // namespace sim
