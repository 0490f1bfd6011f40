#include <cstring>

#include "device/board.h"
#include "macro/macro_private.h"
#include "macro/variables.h"
#include "settings/settings.h"

namespace {

struct Point {
    int32_t x, y;
};

int32_t iMem[kMacroVarCount];
char mString[kMacroVarCount][kMacroStringSize];
Point pt[kMacroVarCount];
char memoryString[kMacroStringSize];

// The "R" items' generator. Runs are reproducible: every start-up begins the same sequence.
constexpr uint32_t kRandomSeed = 0x2545F491u;
uint32_t randomState = kRandomSeed;

bool in_range(int n) {
    return n >= 0 && n < kMacroVarCount;
}

void set_string(char* target, const char* text) {
    size_t n = 0;
    if (text) {
        while (n < size_t(kMacroStringMax) && text[n]) ++n;
        std::memcpy(target, text, n);
    }
    target[n] = '\0';
}

int push_string(char* target, const char* text, int limit) {
    if (limit < 1 || limit > kMacroPushLimitMax) return 0;
    // The buffer holds 80 characters, whatever limit the host asks for.
    const size_t cap = size_t(limit < kMacroStringMax ? limit : kMacroStringMax);
    size_t len = std::strlen(target);
    if (text) {
        while (len < cap && *text) target[len++] = *text++;
    }
    target[len] = '\0';
    return 1;
}

void pop_string(char* target, int count) {
    const size_t len = std::strlen(target);
    if (count < 0 || size_t(count) >= len) {
        target[0] = '\0';
        return;
    }
    target[len - size_t(count)] = '\0';
}

}  // namespace

const char* const nullArgs[kMacroArgCount] = {};

void KV_Macros_Init() {
    for (int n = 0; n < kMacroVarCount; ++n) {
        mString[n][0] = '\0';
        iMem[n] = 0;
        pt[n] = Point{0, 0};
    }
    memoryString[0] = '\0';
    randomState = kRandomSeed;
}

int setMacro_iMem(int n, int32_t value) {
    if (!in_range(n)) return 0;
    iMem[n] = value;
    return 1;
}

int32_t getMacro_iMem(int n) {
    return in_range(n) ? iMem[n] : 0;
}

int setMacro_pt(int n, int32_t x, int32_t y) {
    if (!in_range(n)) return 0;
    pt[n] = Point{x, y};
    return 1;
}

int32_t getMacro_ptX(int n) {
    return in_range(n) ? pt[n].x : 0;
}

int32_t getMacro_ptY(int n) {
    return in_range(n) ? pt[n].y : 0;
}

int setMacroString2(const char* text, int n) {
    if (!in_range(n)) return 0;
    set_string(mString[n], text);
    return 1;
}

const char* getMacroString2(int n) {
    return in_range(n) ? mString[n] : "";
}

int pushMacroString2(const char* text, int n, int limit) {
    if (!in_range(n)) return 0;
    return push_string(mString[n], text, limit);
}

int popMacroString2(int count, int n) {
    if (!in_range(n)) return 0;
    pop_string(mString[n], count);
    return 1;
}

int pushMacroString(const char* text, int limit) {
    return push_string(memoryString, text, limit);
}

int popMacroString(int count) {
    pop_string(memoryString, count);
    return 1;
}

const char* getMacroString() {
    return memoryString;
}

int getMacro_eByte(int h) {
    if (h < 0 || h >= kMacroUserBytes) return -1;
    return EEpromRead(kEepromUserArea + uint32_t(h));
}

int setMacro_eByte(int h, uint8_t value) {
    if (h < 0 || h >= kMacroUserBytes) return 0;
    const uint32_t address = kEepromUserArea + uint32_t(h);
    if (EEpromRead(address) != value) EEpromWrite(address, value);
    return 1;
}

uint32_t macroRandom() {
    // xorshift32: full period over the non-zero states, and the state never becomes zero.
    uint32_t x = randomState;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    randomState = x;
    return x;
}
