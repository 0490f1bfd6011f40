#include "macro/variables.h"

namespace {

char* copy_bounded(char* dst, size_t size, const char* src) {
    if (!dst || size == 0) return dst;
    size_t i = 0;
    if (src) {
        for (; i + 1 < size && src[i]; ++i) dst[i] = src[i];
    }
    dst[i] = '\0';
    return dst;
}

}  // namespace

// Variables and arithmetic are not evaluated yet: lines pass through unchanged (bounded).
char* expandVariables(char* dst, size_t size, const char* src, const char* const*) {
    return copy_bounded(dst, size, src);
}

char* processMath(char* dst, size_t size, const char* src) {
    return copy_bounded(dst, size, src);
}
