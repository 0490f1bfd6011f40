#include "sim/byte_text.h"

#include <cstdio>

namespace sim {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string escape(std::string_view bytes, bool quote) {
    std::string s;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
            case '\r':
                s += "\\r";
                continue;
            case '\n':
                s += "\\n";
                continue;
            case '\t':
                s += "\\t";
                continue;
            case '\\':
                s += "\\\\";
                continue;
            default:
                break;
        }
        if (c == '"' && quote) {
            s += "\\\"";
        } else if (c >= 0x20 && c < 0x7F && !(c == ' ' && !quote && i + 1 == bytes.size())) {
            s += char(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            s += buf;
        }
    }
    return s;
}

}  // namespace

bool unescape(std::string_view text, std::string* out, std::string* error) {
    std::string s;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            s += text[i];
            continue;
        }
        if (++i == text.size()) {
            *error = "a backslash ends the text";
            return false;
        }
        switch (text[i]) {
            case 'r':
                s += '\r';
                break;
            case 'n':
                s += '\n';
                break;
            case 't':
                s += '\t';
                break;
            case '0':
                s += '\0';
                break;
            case 'e':
                s += '\x1B';
                break;
            case '\\':
                s += '\\';
                break;
            case '"':
                s += '"';
                break;
            case '\'':
                s += '\'';
                break;
            case 'x': {
                const int hi = i + 1 < text.size() ? hex_value(text[i + 1]) : -1;
                const int lo = i + 2 < text.size() ? hex_value(text[i + 2]) : -1;
                if (hi < 0 || lo < 0) {
                    *error = "\\x needs two hex digits";
                    return false;
                }
                s += char(hi << 4 | lo);
                i += 2;
                break;
            }
            default:
                *error = std::string("unknown escape \\") + text[i];
                return false;
        }
    }
    *out = std::move(s);
    return true;
}

std::string escape_bytes(std::string_view bytes) {
    return escape(bytes, false);
}

std::string quote_bytes(std::string_view bytes) {
    return "\"" + escape(bytes, true) + "\"";
}

}  // namespace sim
