// Builds bitmap/macro images for tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace voxa_test {

// Builds a bitmap/macro image: header, directory, then the records one after the other.
class ImageBuilder {
  public:
    void add(uint8_t type, std::vector<uint8_t> data) {
        records_.push_back({type, std::move(data)});
    }

    // A user font record whose font data follow its fixed part.
    void addFont(const char* name, uint8_t kind, const char* data = "GUIP font data",
                 uint8_t type = 4) {
        std::vector<uint8_t> r(19, 0);
        std::strncpy(reinterpret_cast<char*>(r.data() + 8), name, 10);
        r[18] = kind;
        r.insert(r.end(), data, data + std::strlen(data));
        add(type, r);
    }
    void addFont(const char* name, uint8_t kind, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> r(19, 0);
        std::strncpy(reinterpret_cast<char*>(r.data() + 8), name, 10);
        r[18] = kind;
        r.insert(r.end(), data.begin(), data.end());
        add(4, r);
    }

    // A bitmap record: its descriptor (XSize, YSize, BytesPerLine, 16 bits per pixel, the pixel
    // location, the key) followed by the pixel data or run-length stream as given.
    void addBitmap(uint8_t type, uint16_t width, uint16_t height, std::vector<uint8_t> data,
                   uint16_t key = 0) {
        std::vector<uint8_t> r(20, 0);
        put16(r, 0, width);
        put16(r, 2, height);
        put16(r, 4, uint16_t(width * 2));
        put16(r, 6, 16);
        put16(r, 12, key);
        r.insert(r.end(), data.begin(), data.end());
        add(type, r);
    }
    // RGB565 pixels as the bytes of a plain record.
    static std::vector<uint8_t> pixels(const std::vector<uint16_t>& values) {
        std::vector<uint8_t> out;
        for (const uint16_t v : values) {
            out.push_back(uint8_t(v));
            out.push_back(uint8_t(v >> 8));
        }
        return out;
    }

    // locationBase is added to every location: 0 for file offsets, the flash window's address
    // for an image built for the boot flash.
    std::vector<uint8_t> build(uint32_t locationBase = 0) const {
        const size_t count = records_.size();
        std::vector<uint8_t> img(8 + 12 * count, 0);
        put16(img, 0, 0xFEEC);
        put16(img, 2, uint16_t(count));
        for (size_t i = 0; i < count; ++i) {
            const size_t at = img.size();
            img[8 + 12 * i] = records_[i].type;
            put32(img, 8 + 12 * i + 8, uint32_t(records_[i].data.size()));
            img.insert(img.end(), records_[i].data.begin(), records_[i].data.end());
            put32(img, 8 + 12 * i + 4, uint32_t(at) + locationBase);
            const uint8_t type = records_[i].type;
            if ((type == 1 || type == 2 || type == 5) && records_[i].data.size() >= 20) {
                put32(img, at + 8, uint32_t(at + 20) + locationBase);
            }
            if ((records_[i].type & 0x0F) == 4) {
                put32(img, at, uint32_t(at + 8) + locationBase);
                put32(img, at + 4, uint32_t(at + 19) + locationBase);
            }
        }
        put32(img, 4, uint32_t(img.size()));
        return img;
    }

    static void put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
        v[at] = uint8_t(x);
        v[at + 1] = uint8_t(x >> 8);
    }
    static void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
    }

  private:
    struct Record {
        uint8_t type;
        std::vector<uint8_t> data;
    };
    std::vector<Record> records_;
};

}  // namespace voxa_test
