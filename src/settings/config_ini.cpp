#include "settings/config_ini.h"

#include <cstring>

#include "base/host_text.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "fs/file_ops.h"
#include "media/ext_mem_area.h"
#include "settings/settings.h"

uint8_t macroVerbose;

namespace {

constexpr const char* kFileName = "config.ini";
constexpr uint8_t kTspanLowest = 3;  // spans up to this cannot filter anything
constexpr uint8_t kTspanDefault = 12;

bool line_end(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

// The first occurrence of key that does not sit on a comment line, or null.
const char* find_key(const char* text, const char* key) {
    for (const char* from = text;;) {
        const char* hit = std::strstr(from, key);
        if (!hit) return nullptr;
        const char* line = hit;
        while (line > text && line[-1] != '\r' && line[-1] != '\n') --line;
        if (*line != '#') return hit;
        from = hit + 1;
    }
}

void syntax_error(const char* at) {
    int n = 0;
    while (!line_end(at[n])) ++n;
    pout(":Syntax error \"%.*s\"\r", n, at);
}

// Decodes the quoted value that starts at p (just after the opening quote) into out (when not
// null); returns its length. The value ends at the closing quote or the end of the line.
size_t decode_value(const char* p, char* out) {
    size_t n = 0;
    while (*p != '"' && !line_end(*p)) {
        char c = *p++;
        if (c == '\\' && !line_end(*p)) c = decodeEscape(p, line_end);
        if (out) out[n] = c;
        ++n;
    }
    return n;
}

class Merger {
  public:
    explicit Merger(const char* text) : text_(text) {}

    bool get(const char* key, int32_t* value, char kind = 'd') {
        return lookfor(text_, key, kind, value, result.verbose) != 0;
    }

    template <typename T>
    void store(T& field, T value) {
        if (field == value) return;
        field = value;
        result.changed = true;
    }

    const char* text() const { return text_; }
    ConfigMerge result{};

  private:
    const char* text_;
};

void merge_baud(Merger& m, const char* key, uint8_t& field) {
    int32_t v;
    if (!m.get(key, &v)) return;
    const uint8_t code = KV_EEPROM_Rate2eeVal(uint32_t(v));
    if (code == 0xFF) {
        if (m.result.verbose) pout(":new rate not valid, not saved\r");
        return;
    }
    if (code == field) return;
    m.store(field, code);
    // The ports were opened with the stored rate before the merge.
    if (m.result.verbose) pout(":new rate will take effect on next powerup/reset\r");
}

void merge_keys(Merger& m) {
    EepromData& e = eepromData;
    int32_t v;
    if (m.get("verbose", &v) && v != 0) {
        m.result.verbose = true;
        pout(":%s verbose mode enabled\r", kFileName);
    }
    if (m.get("autoCal", &v)) m.store(e.autoCal, uint8_t(v ? kFlagOn : kUnset));
    if (m.get("macdebug", &v)) {
        const uint8_t trace = uint8_t(v & 1);
        if (macroVerbose != trace) {
            macroVerbose = trace;
            m.result.changed = true;
        }
    }
    if (m.get("orient", &v)) m.store(e.orient, uint8_t(v & 3));
    if (m.get("invEnaHiTrue", &v)) m.store(e.invEnaHiTrue, uint8_t(v != 0));
    if (m.get("touchSwap", &v)) m.store(e.touchSwap, uint8_t(v != 0));
    if (m.get("tplo", &v)) m.store(e.tplo, uint16_t(v));
    if (m.get("tphi", &v)) m.store(e.tphi, uint16_t(v));
    if (m.get("tpDeltaLim", &v)) m.store(e.tpDeltaLim, uint8_t(v));
    if (m.get("tsamp", &v)) m.store(e.tsamp, uint8_t(v));
    if (m.get("tspan", &v)) m.store(e.tspan, uint8_t(v));
    if (m.get("touchMode", &v)) m.store(e.touchMode, uint8_t(v));
    if (m.get("tcTimeout", &v)) m.store(e.tcTimeout, uint8_t(v));
    if (m.get("auxEsc", &v, 'x')) m.store(e.auxEsc, uint8_t(v));
    // The beeper takes these from the record when it starts, after the merge.
    if (m.get("beepFreq", &v)) m.store(e.beepFreq, uint32_t(v));
    if (m.get("beepVol", &v)) m.store(e.beepVol, uint8_t(v));
    if (m.get("typematicDelay", &v)) m.store(e.typematicDelay, uint8_t(v));
    if (m.get("typematicRepeat", &v)) m.store(e.typematicRepeat, uint8_t(v));
    if (m.get("debounce", &v)) m.store(e.debounce, uint32_t(v));
    if (m.get("PONMAC", &v)) {
        const uint8_t n = uint8_t(v);
        m.store(e.bannerOff, uint8_t(n ? kFlagOn : kUnset));
        m.store(e.ponMacro, n);
    }
    if (m.get("SPL", &v)) {
        if (v != 0) {
            m.store(e.splashEnable, kFlagOn);
            m.store(e.splashIndex, uint8_t(v));
        } else {
            m.store(e.splashEnable, kUnset);
        }
    }
    if (m.get("hfp", &v)) m.store(e.hfp, uint8_t(v));
    if (m.get("hpw", &v)) m.store(e.hpw, uint8_t(v));
    if (m.get("hbp", &v)) m.store(e.hbp, uint8_t(v));
    if (m.get("vfp", &v)) m.store(e.vfp, uint8_t(v));
    if (m.get("vpw", &v)) m.store(e.vpw, uint8_t(v));
    if (m.get("vbp", &v)) m.store(e.vbp, uint8_t(v));
    if (m.get("maxBrite", &v)) m.store(e.maxBrite, uint8_t(v));
    if (m.get("minBrite", &v)) m.store(e.minBrite, uint8_t(v));
    if (m.get("brite", &v)) m.store(e.brite, uint8_t(v));
    if (m.get("pwmIsEnable", &v)) m.store(e.pwmIsEnable, uint8_t(v != 0));
    if (m.get("mainPort", &v) && (v == 0 || v == 1) && e.mainPort != uint8_t(v)) {
        m.store(e.mainPort, uint8_t(v));
        m.result.main_port_changed = true;
    }
    if (m.get("LCDshiftclock", &v)) m.store(e.LCDshiftclock, uint8_t(v != 0));
    merge_baud(m, "baud0", e.baud0);
    merge_baud(m, "baud1", e.baud1);
    if (m.get("externalSpeaker", &v)) m.store(e.externalSpeaker, uint8_t(v & 1));
    char name[kConfigNameSize];
    std::memset(name, 0, sizeof name);
    if (lookforQuotedString(m.text(), "config", name, sizeof name, m.result.verbose) &&
        std::memcmp(name, e.config, sizeof name) != 0) {
        std::memcpy(e.config, name, sizeof name);
        m.result.changed = true;
    }
}

// Spans this small would make the touch filter reject nearly every sample. The repair lives in
// RAM only: by itself it does not make the record worth a save.
void repair_tspan(bool verbose) {
    if (eepromData.tspan > kTspanLowest) return;
    eepromData.tspan = kTspanDefault;
    if (verbose) pout(":tspan too low!! Set to default (12)\r");
}

}  // namespace

int lookfor(const char* text, const char* key, char kind, int32_t* value, int verbose) {
    const char* at = find_key(text, key);
    if (!at) return 0;
    if (kind == 'd') {
        int v;
        if (kv_sscanf(at, "%*s = %d", &v) == 1 || kv_sscanf(at, "%*s %d", &v) == 1) {
            *value = v;
            if (verbose) pout(":%s = %d\r", key, v);
            return 1;
        }
    } else {
        unsigned v;
        if (kv_sscanf(at, "%*s = %x", &v) == 1 || kv_sscanf(at, "%*s %x", &v) == 1) {
            *value = int32_t(v);
            if (verbose) pout(":%s = 0x%X\r", key, v);
            return 1;
        }
    }
    if (verbose) syntax_error(at);
    return 0;
}

int lookforQuotedString(const char* text, const char* key, char* dest, size_t size, int verbose) {
    const char* at = find_key(text, key);
    if (!at) return 0;
    char first;
    int n = 0;
    if (kv_sscanf(at, "%*s = \"%c%n", &first, &n) != 1 &&
        kv_sscanf(at, "%*s \"%c%n", &first, &n) != 1) {
        if (verbose) syntax_error(at);
        return 0;
    }
    const char* value = at + n - 1;  // the %c consumed the value's first character
    const size_t length = decode_value(value, nullptr);
    if (length + 1 > size) return 0;
    decode_value(value, dest);
    dest[length] = 0;
    if (verbose) pout(":%s = \"%s\"\r", key, dest);
    return 1;
}

ConfigMerge KV_Config_MergeText(const char* text) {
    Merger m(text);
    merge_keys(m);
    repair_tspan(m.result.verbose);
    return m.result;
}

ConfigMerge KV_Config_Merge() {
    FS_FILE* file = SD_fopen(kFileName, kFsModeRead);
    if (!file) return {};
    char* text = reinterpret_cast<char*>(ExtMemRamBuffer);
    // The text and its terminator must fit the area; a larger file reads as a short one.
    const uint32_t size = file->size;
    const size_t got = size < kExtMemSize ? fread(text, 1, size, file) : 0;
    text[got] = 0;
    ConfigMerge result{};
    if (got != size) {
        pout(":%s could not be loaded\r", kFileName);
        repair_tspan(false);
    } else {
        result = KV_Config_MergeText(text);
    }
    SD_fclose(file);
    return result;
}
