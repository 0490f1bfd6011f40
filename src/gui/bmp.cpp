#include "gui/bmp.h"

#include "gui/image_decode.h"

namespace {

struct Memory {
    const uint8_t* data;
    uint32_t size;
};

int from_memory(void* context, const uint8_t** data, unsigned count, uint32_t offset) {
    const auto* m = static_cast<const Memory*>(context);
    if (offset >= m->size) return 0;
    const uint32_t left = m->size - offset;
    *data = m->data + offset;
    return int(count < left ? count : left);
}

}  // namespace

int GUI_BMP_Draw(const void* data, uint32_t size, int x, int y) {
    if (!data) return 1;
    Memory memory{static_cast<const uint8_t*>(data), size};
    return GUI_BMP_DrawEx(from_memory, &memory, x, y);
}
