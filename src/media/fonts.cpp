#include "media/fonts.h"

#include <cstring>

#include "base/host_text.h"
#include "gui/builtin_fonts.h"
#include "gui/gui.h"
#include "media/ext_check.h"

const FontEntry fontTable[kFontTableSize + 1] = {
    {"8s", &GUI_FontArial8},
    {"8Bs", &GUI_FontArial8B},
    {"8", &GUI_FontArial8},
    {"8B", &GUI_FontArial8B},
    {"10s", &GUI_FontArial10},
    {"10Bs", &GUI_FontArial10B},
    {"10", &GUI_FontArial10AA4},
    {"10B", &GUI_FontArial10BAA4},
    {"12", &GUI_FontArial12AA4},
    {"12B", &GUI_FontArial12BAA4},
    {"14", &GUI_FontArial14AA4},
    {"14B", &GUI_FontArial14BAA4},
    {"16", &GUI_FontArial16AA4},
    {"16B", &GUI_FontArial16BAA4},
    {"20", &GUI_FontArial20AA4},
    {"20B", &GUI_FontArial20BAA4},
    {"24", &GUI_FontArial24AA4},
    {"24B", &GUI_FontArial24BAA4},
    {"32", &GUI_FontArial32AA4},
    {"32B", &GUI_FontArial32BAA4},
    {"48", &GUI_FontMono48},
    {"64", &GUI_FontMono64},
    {"m8", &GUI_FontMono8AA4},
    {"m8B", &GUI_FontMono8BAA4},
    {"m10", &GUI_FontMono10AA4},
    {"m10B", &GUI_FontMono10BAA4},
    {"m12", &GUI_FontMono12AA4},
    {"m12B", &GUI_FontMono12BAA4},
    {"m14", &GUI_FontMono14AA4},
    {"m14B", &GUI_FontMono14BAA4},
    {"m16", &GUI_FontMono16AA4},
    {"m16B", &GUI_FontMono16BAA4},
    {"m20", &GUI_FontMono20AA4},
    {"m20B", &GUI_FontMono20BAA4},
    {"m24", &GUI_FontMono24AA4},
    {"m24B", &GUI_FontMono24BAA4},
    {"m32", &GUI_FontMono32AA4},
    {"m32B", &GUI_FontMono32BAA4},
    {"m48", &GUI_FontMono48},
    {"m64", &GUI_FontMono64},
    {"dummy", &GUI_FontArial8},
    // Names of older displays, so that their hosts keep working.
    {"10S", &GUI_FontArial8},
    {"13", &GUI_FontArial10},
    {"13B", &GUI_FontArial10B},
    {"x16", &GUI_Font16_1},
    {"x16B", &GUI_Font16B_1},
    {"18BC", &GUI_FontArial24AA4},
    {"24", &GUI_FontArial24AA4},
    {"24B", &GUI_FontArial24AA4},
    {"24BC", &GUI_FontArial24AA4},
    {"32", &GUI_FontArial32AA4},
    {"32B", &GUI_FontArial32AA4},
    {"4x6", &GUI_FontMono8AA4},
    {"6x8", &GUI_FontMono8AA4},
    {"6x9", &GUI_FontMono8AA4},
    {"8x8", &GUI_FontMono8AA4},
    {"8x9", &GUI_FontMono8AA4},
    {"8x10", &GUI_FontMono10AA4},
    {"8x12", &GUI_FontMono12AA4},
    {"8x13", &GUI_FontMono12AA4},
    {"8x15B", &GUI_FontMono14AA4},
    {"8x16", &GUI_FontMono16AA4},
    {"8x16L", &GUI_FontMono16AA4},
    {"12x24", &GUI_FontMono24AA4},
    {"14x24", &GUI_FontMono24AA4},
    {"16x32", &GUI_FontMono32AA4},
    {"16x32i", &GUI_FontMono32AA4},
    {"24x48", &GUI_FontMono48},
    {"32x64", &GUI_FontMono64},
    {"40x80", &GUI_FontMono64},
    {"60x120", &GUI_FontMono64},
    {nullptr, nullptr},
};

GUI_FONT CmdFont;

namespace {

// The entry current at power-on: the font GUI_Init selects.
constexpr int kStartEntry = 4;

// The bitmap/macro image: header, then the record directory.
constexpr uint16_t kImageMagic = 0xFEEC;
constexpr uint32_t kImageHeaderSize = 8;
constexpr uint32_t kImageCountOffset = 2;
constexpr uint32_t kImageSizeOffset = 4;
constexpr uint32_t kDirEntrySize = 12;
constexpr uint32_t kDirLocationOffset = 4;
constexpr uint32_t kDirSizeOffset = 8;
constexpr uint8_t kRecordTypeMask = 0x0F;
constexpr uint8_t kRecordTypeUserFont = 4;

// Locations may still be addresses in the boot flash window the image was built for.
constexpr uint32_t kFlash2Base = 0xC8400000;
constexpr uint32_t kFlash2Last = 0xC9FBFFFF;

// The user font record.
constexpr uint32_t kUserFontDataOffset = 4;
constexpr uint32_t kUserFontNameOffset = 8;
constexpr uint32_t kUserFontKindOffset = 18;
constexpr uint32_t kUserFontRecordSize = 19;
constexpr uint8_t kSifMagic[4] = {'G', 'U', 'I', 'P'};

// A user font entry together with the name it points at.
struct UserSlot {
    FontEntry entry;
    char name[kFontNameSize];
};

// All zero is the power-on state.
struct State {
    const FontEntry* current;  // null: the start entry
    int nextName;
    const uint8_t* image;
    uint32_t imageSize;
    uint32_t imageAddress;
    UserSlot found;     // what KV_FindFont returned last
    UserSlot selected;  // the current entry when it is a user font
};

State state;

uint16_t readU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The part of the current image that may be read, and its number of directory entries that
// lie wholly inside it; false when there is no valid image.
bool imageBounds(uint32_t* size, uint32_t* entries) {
    if (state.image == nullptr || state.imageSize < kImageHeaderSize) return false;
    if (readU16(state.image) != kImageMagic) return false;
    const uint32_t count = readU16(state.image + kImageCountOffset);
    if (count == 0) return false;
    // A size field smaller than the memory given marks where the image really ends.
    const uint32_t declared = readU32(state.image + kImageSizeOffset);
    *size = declared >= kImageHeaderSize && declared < state.imageSize ? declared : state.imageSize;
    const uint32_t room = (*size - kImageHeaderSize) / kDirEntrySize;
    *entries = count < room ? count : room;
    return true;
}

// Offset in the image of a location: a file offset, a flash-window address, or (where
// pointers are 32 bits wide) a pointer into the image left by an earlier relocation.
bool resolveLocation(uint32_t location, uint32_t size, uint32_t* offset) {
    // An image relocated for the place it lies holds addresses of that place.
    if (state.imageAddress != 0 && location >= state.imageAddress &&
        location - state.imageAddress < size) {
        *offset = location - state.imageAddress;
        return true;
    }
    if (location > kFlash2Base && location <= kFlash2Last) {
        location -= kFlash2Base;
    } else if constexpr (sizeof(uintptr_t) == sizeof(uint32_t)) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(state.image);
        if (location >= base) {
            if (location - base >= size) return false;
            *offset = uint32_t(location - base);
            return true;
        }
    }
    if (location >= size) return false;
    *offset = location;
    return true;
}

// The user font record of directory entry index, or null when that entry is no user font
// record or its fixed part does not lie inside the image or its name is not terminated.
const uint8_t* userFontRecord(uint32_t size, uint32_t index) {
    const uint8_t* dir = state.image + kImageHeaderSize + index * kDirEntrySize;
    if ((dir[0] & kRecordTypeMask) != kRecordTypeUserFont) return nullptr;
    if (dir[0] == kRecordTypeUserFont) {
        // The loader's check decides for a proper font record: one it refused is never used.
        const ExtView view{state.image, size, state.imageAddress};
        ExtRecordInfo info;
        if (ExtCheck_Record(view, int(index), &info) != nullptr) return nullptr;
    }
    uint32_t offset;
    if (!resolveLocation(readU32(dir + kDirLocationOffset), size, &offset)) return nullptr;
    if (size - offset < kUserFontRecordSize) return nullptr;
    const uint8_t* record = state.image + offset;
    if (std::memchr(record + kUserFontNameOffset, 0, kFontNameSize) == nullptr) return nullptr;
    return record;
}

void fillSlot(UserSlot* slot, const uint8_t* record, uint32_t size, uint32_t index) {
    std::memcpy(slot->name, record + kUserFontNameOffset, kFontNameSize);
    slot->entry = FontEntry{slot->name, nullptr, nullptr, 0, record[kUserFontKindOffset]};
    // The font's data end where its record ends: the font reader never sees the next record.
    const uint32_t start = uint32_t(record - state.image);
    const uint32_t length =
        readU32(state.image + kImageHeaderSize + index * kDirEntrySize + kDirSizeOffset);
    const uint32_t end = length < size - start ? start + length : size;
    uint32_t offset;
    if (resolveLocation(readU32(record + kUserFontDataOffset), size, &offset) && offset >= start &&
        offset < end) {
        slot->entry.sifData = state.image + offset;
        slot->entry.sifSize = end - offset;
    }
}

// The library's font type for a user font record's kind, or -1.
int userFontType(uint8_t kind) {
    switch (kind) {
        case 0:
        case 0xFF:
            return GUI_FONTTYPE_PROP;
        case 2:
            return GUI_FONTTYPE_PROP_AA2;
        case 3:
            return GUI_FONTTYPE_PROP_AA4;
        default:
            return -1;
    }
}

}  // namespace

void KV_Fonts_Init() {
    state = State{};
    CmdFont = GUI_FONT{};
}

void KV_SetFontImage(const uint8_t* image, uint32_t size, uint32_t address) {
    state.image = size != 0 ? image : nullptr;
    state.imageSize = image != nullptr ? size : 0;
    state.imageAddress = address;
}

const FontEntry* KV_FindFont(const char* name) {
    if (name == nullptr) return nullptr;
    for (const FontEntry* e = fontTable; e->name != nullptr; ++e) {
        if (std::strcmp(e->name, name) == 0) return e;
    }
    uint32_t size, entries;
    if (!imageBounds(&size, &entries)) return nullptr;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* record = userFontRecord(size, i);
        if (record == nullptr) continue;
        if (std::strcmp(reinterpret_cast<const char*>(record + kUserFontNameOffset), name) != 0) {
            continue;
        }
        fillSlot(&state.found, record, size, i);
        return &state.found.entry;
    }
    return nullptr;
}

int KV_SetFont(const FontEntry* entry, GUI_FONT* fontObject) {
    if (entry == nullptr) return 0;
    if (entry->font != nullptr) {
        GUI_SetFont(entry->font);
        return 1;
    }
    // A record whose data are not font data must never be taken for a font.
    if (entry->sifData == nullptr || entry->sifSize < sizeof kSifMagic ||
        std::memcmp(entry->sifData, kSifMagic, sizeof kSifMagic) != 0) {
        return 0;
    }
    if (fontObject == nullptr) return 0;
    const int type = userFontType(entry->sifKind);
    if (type < 0) {
        txNotify(":Unsupported SIF font type\r");
        return 0;
    }
    // A bad record leaves fontObject as it was: it may be the font the library draws with.
    if (!GUI_SIF_CreateFont(entry->sifData, entry->sifSize, fontObject, type)) return 0;
    GUI_SetFont(fontObject);
    return 1;
}

int KV_SelectFont(const FontEntry* entry) {
    if (entry == nullptr) return 0;
    if (entry->font == nullptr && entry != &state.selected.entry) {
        // A look-up's slot is overwritten by the next look-up; the current entry must outlive
        // it.
        state.selected.entry = *entry;
        int n = 0;
        for (; n < kFontNameSize - 1 && entry->name != nullptr && entry->name[n]; ++n) {
            state.selected.name[n] = entry->name[n];
        }
        state.selected.name[n] = 0;
        state.selected.entry.name = state.selected.name;
        entry = &state.selected.entry;
    }
    const int built = KV_SetFont(entry, &CmdFont);
    state.current = entry;
    return built;
}

int GUIDEMO_SetFont(const char* name) {
    const FontEntry* entry = KV_FindFont(name);
    if (entry == nullptr) return 0;
    KV_SelectFont(entry);
    return 1;
}

const FontEntry* KV_GetFontPtr() {
    return state.current != nullptr ? state.current : &fontTable[kStartEntry];
}

const char* KV_GetCurrentFontName() {
    return KV_GetFontPtr()->name;
}

const char* KV_FontName() {
    const char* name = fontTable[state.nextName].name;
    state.nextName = name != nullptr ? state.nextName + 1 : 0;
    return name;
}

int KV_UserFontName(uint32_t* index, char name[kFontNameSize]) {
    uint32_t size, entries;
    if (index == nullptr || !imageBounds(&size, &entries)) return 0;
    for (uint32_t i = *index; i < entries; ++i) {
        const uint8_t* record = userFontRecord(size, i);
        if (record == nullptr) continue;
        std::memcpy(name, record + kUserFontNameOffset, kFontNameSize);
        *index = i + 1;
        return 1;
    }
    *index = entries;
    return 0;
}
