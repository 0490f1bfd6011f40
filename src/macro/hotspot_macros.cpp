#include "macro/hotspot_macros.h"

#include <cstdint>
#include <cstring>

#include "base/host_text.h"

namespace {

constexpr uint8_t kKindRelease = 0;
constexpr uint8_t kKindPress = 1;
constexpr uint8_t kKindFree = 3;
constexpr uint8_t kKindMask = 0x03;
constexpr uint8_t kInUse = 0x04;
constexpr int kCapacityMax = 255;  // the capacity is a byte

struct ArgSlot {
    int16_t spot;  // -1: free
    uint8_t flags;
    uint8_t capacity;  // pool bytes reserved, NUL included
    char* text;
};

ArgSlot argStore[kArgStoreSlots];
char argStoreData[kArgStorePoolSize];
// First never-used byte of the pool (an offset: the pool is handed out in order).
int argStoreLast;
bool initialised;

// Power-on state without a start-up call: statics are zero, but a free slot is spot -1.
void ensure_init() {
    if (initialised) return;
    initialised = true;
    clearMacroArgStore();
}

uint8_t kind_of(int isPress) {
    return isPress ? kKindPress : kKindRelease;
}

ArgSlot* find(int spot, int isPress) {
    ensure_init();
    for (ArgSlot& s : argStore) {
        if ((s.flags & kInUse) && s.spot == spot && (s.flags & kKindMask) == kind_of(isPress)) {
            return &s;
        }
    }
    return nullptr;
}

void take(ArgSlot& s, int spot, int isPress, const char* text, size_t need) {
    std::memcpy(s.text, text, need);
    s.spot = int16_t(spot);
    s.flags = uint8_t(kInUse | kind_of(isPress));
}

void free_slot(ArgSlot& s) {
    s.spot = -1;
    s.flags = kKindFree;
}

}  // namespace

int assignMacroArgs(int spot, int isPress, const char* text) {
    if (!text) text = "";
    const size_t need = std::strlen(text) + 1;
    if (ArgSlot* s = find(spot, isPress)) {
        if (need <= s->capacity) {
            take(*s, spot, isPress, text, need);
            return 1;
        }
        free_slot(*s);
    }
    ArgSlot* best = nullptr;
    bool anyFree = false;
    for (ArgSlot& s : argStore) {
        if (s.flags & kInUse) continue;
        anyFree = true;
        if (s.capacity >= need && (!best || s.capacity < best->capacity)) best = &s;
    }
    if (best) {
        take(*best, spot, isPress, text, need);
        return 1;
    }
    if (!anyFree) {
        pout(":out of macro arg storage slots; all %d in use\r", kArgStoreSlots);
        return 0;
    }
    const int left = getMacroArgBytesAvailable();
    // A slot's capacity is a byte: a longer text cannot be kept (an argument string is at most
    // 129 characters anyway).
    if (int(need) > left || need > size_t(kCapacityMax)) {
        pout(":out of macro arg storage space; need %d bytes, %d left\r", int(need), left);
        return 0;
    }
    // New pool space goes to a slot that never had any, so that the areas of freed slots (the
    // one just outgrown among them) stay for shorter texts; only when every free slot has an
    // area does the first of them trade its area for a larger one.
    ArgSlot* slot = nullptr;
    for (ArgSlot& s : argStore) {
        if (s.flags & kInUse) continue;
        if (!slot) slot = &s;
        if (s.capacity == 0) {
            slot = &s;
            break;
        }
    }
    if (slot) {
        slot->text = argStoreData + argStoreLast;
        slot->capacity = uint8_t(need);
        argStoreLast += int(need);
        take(*slot, spot, isPress, text, need);
        return 1;
    }
    pout(":Unknown macro arg storage error");
    return 0;
}

const char* getMacroArgs(int spot, int isPress) {
    const ArgSlot* s = find(spot, isPress);
    return s ? s->text : nullptr;
}

void releaseMacroArgs(int spot, int isPress) {
    if (ArgSlot* s = find(spot, isPress)) free_slot(*s);
}

void clearMacroArgStore() {
    initialised = true;
    for (ArgSlot& s : argStore) {
        free_slot(s);
        s.capacity = 0;
        s.text = nullptr;
    }
    argStoreLast = 0;
    std::memset(argStoreData, 0, sizeof argStoreData);
}

int getMacroArgBytesAvailable() {
    ensure_init();
    return kArgStorePoolSize - argStoreLast;
}
