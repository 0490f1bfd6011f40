// The web view's page, built into the program from sim/web/ (web_assets.cpp is generated).
#pragma once

#include <cstddef>
#include <span>

namespace sim::web_assets {

struct Asset {
    const char* path;  // as the page asks for it
    const char* file;  // its name in sim/web/
    const char* type;  // Content-Type (all are UTF-8 text)
    const unsigned char* data;
    size_t size;
};

std::span<const Asset> assets();

}  // namespace sim::web_assets
