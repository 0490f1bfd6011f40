#include "media/macro_table.h"

#include <cstring>

#include "base/byte_order.h"
#include "media/ext_check.h"
#include "media/ext_image.h"

namespace {

constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kMetaNamesOffset = 6;

// Offset of the macro table and the number of macros, when record 0 holds macros.
bool macro_record(uint32_t* table, uint32_t* count) {
    ExtRecord rec;
    if (!ExtMem_Record(0, &rec) || rec.type != kRecMacros || rec.size == 0) return false;
    if (!ExtMem_Resolve(rec.location, table)) return false;
    *count = rec.size;
    return true;
}

// Offset just past the NUL of the string at offset; false when it does not end in the image.
bool skip_string(uint32_t* offset) {
    const char* s = ExtMem_String(*offset);
    if (!s) return false;
    *offset += uint32_t(std::strlen(s)) + 1;
    return true;
}

// Offset of the meta table's first name.
bool names_start(uint32_t* offset) {
    uint32_t table, count;
    if (!macro_record(&table, &count)) return false;
    if (count > (UINT32_MAX - table) / kEntrySize) return false;
    const uint32_t meta = table + count * kEntrySize;
    const uint8_t* magic = ExtMem_Bytes(meta, kMetaNamesOffset);
    if (!magic || (magic[0] | (magic[1] << 8)) != kMacroMetaMagic) return false;
    *offset = meta + kMetaNamesOffset;
    return true;
}

}  // namespace

MacroRecordState KV_MacroRecordState() {
    if (!ExtMem_Valid()) return MacroRecordState::kNoImage;
    ExtRecord rec;
    if (!ExtMem_Record(0, &rec) || rec.type != kRecMacros || rec.size == 0) {
        return MacroRecordState::kNoMacros;
    }
    return MacroRecordState::kPresent;
}

int KV_MacroCount() {
    uint32_t table, count;
    if (!macro_record(&table, &count)) return 0;
    return count > uint32_t(kMacroMaxNumber) ? kMacroMaxNumber : int(count);
}

int KV_GetMacro(int n, MacroEntry* out) {
    ExtView view;
    ExtRecordInfo r;
    if (n < 1 || n > kMacroMaxNumber || !ExtMem_View(&view) ||
        ExtCheck_Record(view, 0, &r) != nullptr || r.type != kRecMacros || uint32_t(n) > r.size) {
        return 0;
    }
    ExtMacroInfo m;
    if (ExtCheck_Macro(view, r.at, uint32_t(n), &m) != nullptr) return 0;
    *out = MacroEntry{m.first_line, m.line_count, m.shown_number};
    return 1;
}

bool KV_MacroExists(int n) {
    MacroEntry e;
    return KV_GetMacro(n, &e) != 0;
}

bool KV_MacroNamesPresent() {
    uint32_t start;
    return names_start(&start);
}

const char* KV_MacroName(int k) {
    uint32_t at;
    if (k < 0 || k > KV_MacroCount() || !names_start(&at)) return nullptr;
    for (int i = 0; i < k; ++i) {
        if (!skip_string(&at)) return nullptr;
    }
    return ExtMem_String(at);
}
