// JPEG (JFIF) decoder: Huffman-coded baseline, extended sequential with 8-bit samples and
// progressive images, grey or YCbCr with luma sampled 1 or 2 times the chroma in each direction.
//
// A sequential image whose one scan holds every component is drawn MCU by MCU as it is decoded,
// from a few static tables and one MCU of blocks, so its size is not limited by any buffer.
// Progressive images (and sequential ones split into several scans) need every coefficient of
// the image before the first pixel can be computed: they are held as 16-bit values in the work
// area the firmware hands over, and refused before anything is drawn when they do not fit.
//
// Chroma is upsampled by replication (each chroma sample covers its 2 or 4 pixels), which is
// what the reference decoders do without "fancy" upsampling.
#include <cstdint>
#include <cstring>
#include <type_traits>

// The stream's header first: its constructor's parameter would shadow the library's context
// declared by the sink's.
#include "gui/image_stream.h"

#include "gui/image_decode.h"
#include "gui/image_sink.h"
#include "gui/jpeg_internal.h"

namespace gui::jpeg {

namespace {

constexpr int kFastBits = 9;
constexpr int kFastSize = 1 << kFastBits;

struct HuffTable {
    bool defined;
    // Codes of up to kFastBits bits, indexed by the next kFastBits bits of the stream:
    // (length << 8) | symbol, 0 when the code is longer.
    uint16_t fast[kFastSize];
    // Codes of length l are below limit[l] (left-justified to 16 bits); the value of code c of
    // length l is values[c + offset[l]].
    uint32_t limit[17];
    int32_t offset[17];
    uint8_t values[256];
};

constexpr int kMaxBlocksInMcu = 6;  // 2x2 luma blocks and two chroma blocks

struct Component {
    uint8_t id;
    uint8_t h, v;  // sampling factors
    uint8_t tq;
    uint8_t td, ta;     // Huffman tables of the current scan
    int32_t pred;       // DC predictor
    uint32_t bw, bh;    // blocks in whole MCUs
    uint32_t cbw, cbh;  // blocks that hold image data
    int16_t* coef;      // whole-image coefficients (buffered images)
};

struct Tables {
    HuffTable dc[4];
    HuffTable ac[4];
    // For each AC table, a run/size symbol and its value bits together when both fit the
    // lookup: (value << 8) | (run << 4) | (code + value length), 0 otherwise.
    int16_t fast_ac[4][kFastSize];
    uint16_t quant[4][64];  // natural order
    bool quant_defined[4];
    int16_t mcu[kMaxBlocksInMcu][64];
    // The blocks of the MCU to draw: coefficients, their quantisation table (null: dequantised
    // already) and which columns hold non-zero ones.
    const int16_t* block[kMaxBlocksInMcu];
    const uint16_t* block_quant[kMaxBlocksInMcu];
    uint32_t columns[kMaxBlocksInMcu];
    McuPlanes planes;
    uint16_t pixels[16 * 16];
};
Tables tables;

uint8_t* workArea = nullptr;
uint32_t workAreaSize = 0;

int fail(const char* why) {
    GUI_X_Warn(why);
    return 1;
}

using Bits = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
constexpr int kBitsWidth = int(sizeof(Bits) * 8);

// fast_ac: the AC lookup to fill, null for a DC table.
bool build_table(HuffTable& h, const uint8_t* counts, const uint8_t* values, int16_t* fast_ac) {
    std::memset(h.fast, 0, sizeof h.fast);
    if (fast_ac) std::memset(fast_ac, 0, sizeof(int16_t) * kFastSize);
    uint32_t code = 0;
    int index = 0;
    h.limit[0] = 0;
    h.offset[0] = 0;
    for (int l = 1; l <= 16; ++l) {
        const uint32_t n = counts[l - 1];
        if (code + n > (uint32_t(1) << l)) return false;
        h.offset[l] = index - int32_t(code);
        for (uint32_t i = 0; i < n; ++i, ++code, ++index) {
            if (l > kFastBits) continue;
            const uint8_t symbol = values[index];
            const int spare = kFastBits - l;
            const uint32_t first = code << spare;
            for (uint32_t j = 0; j < (uint32_t(1) << spare); ++j) {
                h.fast[first + j] = uint16_t(l << 8 | symbol);
                const int run = symbol >> 4, size = symbol & 15;
                if (!fast_ac || size == 0 || size > spare) continue;
                const uint32_t raw = j >> (spare - size);
                const int32_t value =
                    raw >> (size - 1) ? int32_t(raw) : int32_t(raw) - ((1 << size) - 1);
                if (value < -128 || value > 127) continue;
                fast_ac[first + j] = int16_t(value * 256 + (run << 4) + (l + size));
            }
        }
        h.limit[l] = code << (16 - l);
        code <<= 1;
    }
    std::memcpy(h.values, values, size_t(index));
    h.defined = true;
    return true;
}

class Decoder {
  public:
    Decoder(ImageStream& stream, ImageSink& sink) : stream_(stream), sink_(sink) {}
    int run();

  private:
    enum : int { kOk = 0, kError = 1 };

    // Bytes of the file, straight from the supplier's pieces.
    bool more() {
        const uint8_t* data = nullptr;
        const uint32_t n = stream_.take(&data, kGuiImageRequestMax);
        if (n == 0) return false;
        p_ = data;
        end_ = data + n;
        return true;
    }
    int byte() {
        if (p_ == end_ && !more()) return -1;
        return *p_++;
    }
    int be16() {
        const int a = byte();
        const int b = byte();
        return a < 0 || b < 0 ? -1 : a << 8 | b;
    }
    bool skip(uint32_t n) {
        const uint32_t here = uint32_t(end_ - p_);
        if (n <= here) {
            p_ += n;
            return true;
        }
        p_ = end_;
        return stream_.skip(n - here);
    }
    int next_marker();

    // Segments; each returns kOk or the failure (already reported).
    int read_frame(int marker);
    int read_huffman(int length);
    int read_quant(int length);
    int read_scan(int length);

    // Entropy-coded data, most significant bit first.
    void fill();
    uint32_t peek(int n) const { return uint32_t(buf_ >> (kBitsWidth - n)); }
    void consume(int n) {
        buf_ <<= n;
        nbits_ -= n;
    }
    uint32_t bits(int n) {
        if (nbits_ < n) fill();
        const uint32_t v = peek(n);
        consume(n);
        return v;
    }
    // n (1..16) bits as a signed value of that size category.
    int32_t extend(int n) {
        const uint32_t v = bits(n);
        return v >> (n - 1) ? int32_t(v) : int32_t(v) - ((1 << n) - 1);
    }
    int decode(const HuffTable& h) {
        if (nbits_ < 16) fill();
        const uint32_t e = h.fast[peek(kFastBits)];
        if (e) {
            consume(int(e >> 8));
            return int(e & 0xFF);
        }
        return decode_long(h);
    }
    int decode_long(const HuffTable& h);
    void reset_bits() {
        buf_ = 0;
        nbits_ = 0;
        pad_ = 0;
        stopped_ = false;
    }
    bool restart();
    // Before each MCU of a scan: at the end of a restart interval, its marker.
    int next_interval(uint32_t* left);
    void reset_predictors() {
        for (int i = 0; i < nf_; ++i) comp_[i].pred = 0;
        eobrun_ = 0;
    }
    // After an MCU: kOk to go on, else why the scan ends.
    int check_mcu() { return !bad_code_ && pad_ <= nbits_ ? kOk : mcu_trouble(); }
    int mcu_trouble();

    template <bool kDequantise>
    uint32_t decode_block(Component& c, int16_t* block);
    void decode_dc_first(Component& c, int16_t* block);
    void decode_dc_refine(int16_t* block);
    void decode_ac_first(Component& c, int16_t* block);
    void decode_ac_refine(Component& c, int16_t* block);
    enum class Scan { kSequential, kDcFirst, kDcRefine, kAcFirst, kAcRefine };
    template <Scan kScan>
    void decode_buffered_block(Component& c, int16_t* block);

    int scan_direct();
    int scan_buffered();
    template <Scan kScan>
    int scan_buffered_as();
    int output_buffered();
    bool mcu_row_visible(uint32_t my, int* row);
    void emit_mcu(uint32_t mx, uint32_t my, int row);
    int16_t* block_at(const Component& c, uint32_t bx, uint32_t by) const {
        return c.coef + (size_t(by) * c.bw + bx) * 64;
    }

    ImageStream& stream_;
    ImageSink& sink_;
    const uint8_t* p_ = nullptr;
    const uint8_t* end_ = nullptr;

    Bits buf_ = 0;
    int nbits_ = 0;
    int pad_ = 0;           // zero bits added after the data stopped
    bool stopped_ = false;  // a marker or the end of the data was reached
    bool eof_ = false;
    int marker_ = 0;  // met inside entropy-coded data, not yet handled
    bool bad_code_ = false;
    bool damaged_ = false;  // a restart interval was corrupt; decoding went on after it

    bool frame_ = false;
    bool progressive_ = false;
    bool buffered_ = false;  // coefficients held for the whole image
    bool scanned_ = false;   // a scan of a buffered image was decoded
    int width_ = 0, height_ = 0;
    int nf_ = 0;
    Component comp_[3] = {};
    int hmax_ = 1, vmax_ = 1;
    int mcuw_ = 8, mcuh_ = 8;
    uint32_t mcus_x_ = 0, mcus_y_ = 0;
    uint32_t restart_interval_ = 0;

    // The current scan.
    int ns_ = 0;
    int scomp_[3] = {};
    int ss_ = 0, se_ = 63, ah_ = 0, al_ = 0;
    uint32_t eobrun_ = 0;
};

void Decoder::fill() {
    // The common case first: plain bytes at hand, none of them 0xFF.
    if (!stopped_) {
        Bits buf = buf_;
        int n = nbits_;
        const uint8_t* p = p_;
        while (n <= kBitsWidth - 8 && p != end_ && *p != 0xFF) {
            buf |= Bits(*p++) << (kBitsWidth - 8 - n);
            n += 8;
        }
        buf_ = buf;
        nbits_ = n;
        p_ = p;
    }
    while (nbits_ <= kBitsWidth - 8) {
        if (stopped_) {
            // Past the end of the segment: zeros, counted so that using them is noticed.
            nbits_ += 8;
            pad_ += 8;
            continue;
        }
        int b = p_ != end_ ? *p_++ : byte();
        if (b == 0xFF) {
            int c;
            do c = byte();
            while (c == 0xFF);
            if (c > 0) {
                marker_ = c;
                stopped_ = true;
                continue;
            }
            if (c < 0) b = -1;
        }
        if (b < 0) {
            eof_ = true;
            stopped_ = true;
            continue;
        }
        buf_ |= Bits(uint32_t(b)) << (kBitsWidth - 8 - nbits_);
        nbits_ += 8;
    }
}

// Codes longer than the lookup (rare), and codes that are no code at all.
int Decoder::decode_long(const HuffTable& h) {
    const uint32_t code = peek(16);
    for (int l = kFastBits + 1; l <= 16; ++l) {
        if (code < h.limit[l]) {
            consume(l);
            return h.values[int32_t(code >> (16 - l)) + h.offset[l]];
        }
    }
    bad_code_ = true;
    consume(16);
    return 0;
}

// Finds the marker that ends the current interval and, when it is a restart marker, starts the
// next interval after it. A marker met early (a damaged interval) is taken all the same, so
// decoding picks up again at the next interval.
bool Decoder::restart() {
    reset_bits();
    if (!marker_) {
        if (eof_) return false;
        int b = byte();
        for (;;) {
            while (b >= 0 && b != 0xFF) b = byte();
            if (b < 0) {
                eof_ = true;
                return false;
            }
            do b = byte();
            while (b == 0xFF);
            if (b > 0) {
                marker_ = b;
                break;
            }
        }
    }
    if (marker_ < 0xD0 || marker_ > 0xD7) return false;
    marker_ = 0;
    reset_predictors();
    return true;
}

int Decoder::next_interval(uint32_t* left) {
    if (!restart_interval_) return kOk;
    if (*left == 0) {
        if (!restart())
            return fail(eof_ ? "JPEG: data ends early" : "JPEG: restart marker missing");
        *left = restart_interval_;
    }
    --*left;
    return kOk;
}

int Decoder::mcu_trouble() {
    if (eof_) return fail("JPEG: data ends early");
    // Inside a restart interval the damage ends at the next restart marker.
    if (restart_interval_ && (bad_code_ || (marker_ >= 0xD0 && marker_ <= 0xD7))) {
        damaged_ = true;
        bad_code_ = false;
        pad_ = nbits_;
        return kOk;
    }
    return fail("JPEG: corrupt data");
}

int Decoder::next_marker() {
    if (marker_) {
        const int m = marker_;
        marker_ = 0;
        return m;
    }
    for (;;) {
        int b = byte();
        while (b >= 0 && b != 0xFF) b = byte();
        if (b < 0) return -1;
        do b = byte();
        while (b == 0xFF);
        if (b < 0) return -1;
        if (b != 0) return b;
    }
}

int Decoder::read_frame(int marker) {
    if (frame_) return fail("JPEG: second frame");
    const int length = be16();
    const int precision = byte();
    const int height = be16();
    const int width = be16();
    const int nf = byte();
    if (nf < 0) return fail("JPEG: data ends early");
    if (precision != 8) return fail("JPEG: only 8-bit samples supported");
    if (nf != 1 && nf != 3) return fail("JPEG: only grey and YCbCr images supported");
    if (length != 8 + 3 * nf) return fail("JPEG: bad frame header");
    if (width == 0 || height == 0) return fail("JPEG: image size missing");
    for (int i = 0; i < nf; ++i) {
        Component& c = comp_[i];
        const int id = byte();
        const int hv = byte();
        const int tq = byte();
        if (tq < 0) return fail("JPEG: data ends early");
        c.id = uint8_t(id);
        c.h = uint8_t(hv >> 4);
        c.v = uint8_t(hv & 15);
        c.tq = uint8_t(tq);
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || tq > 3)
            return fail("JPEG: bad frame header");
        for (int j = 0; j < i; ++j) {
            if (comp_[j].id == c.id) return fail("JPEG: bad frame header");
        }
    }
    // Factors all alike mean no subsampling, whatever their value.
    if (nf == 1 || (comp_[1].h == comp_[0].h && comp_[2].h == comp_[0].h &&
                    comp_[1].v == comp_[0].v && comp_[2].v == comp_[0].v)) {
        for (int i = 0; i < nf; ++i) comp_[i].h = comp_[i].v = 1;
    }
    if (nf == 3 && (comp_[0].h > 2 || comp_[0].v > 2 || comp_[1].h != 1 || comp_[1].v != 1 ||
                    comp_[2].h != 1 || comp_[2].v != 1)) {
        return fail("JPEG: sampling not supported");
    }
    frame_ = true;
    progressive_ = marker == 0xC2;
    width_ = width;
    height_ = height;
    nf_ = nf;
    hmax_ = comp_[0].h;
    vmax_ = comp_[0].v;
    mcuw_ = 8 * hmax_;
    mcuh_ = 8 * vmax_;
    mcus_x_ = (uint32_t(width) + uint32_t(mcuw_) - 1) / uint32_t(mcuw_);
    mcus_y_ = (uint32_t(height) + uint32_t(mcuh_) - 1) / uint32_t(mcuh_);
    for (int i = 0; i < nf; ++i) {
        Component& c = comp_[i];
        c.bw = mcus_x_ * c.h;
        c.bh = mcus_y_ * c.v;
        const uint32_t cw = (uint32_t(width) * c.h + uint32_t(hmax_) - 1) / uint32_t(hmax_);
        const uint32_t ch = (uint32_t(height) * c.v + uint32_t(vmax_) - 1) / uint32_t(vmax_);
        c.cbw = (cw + 7) / 8;
        c.cbh = (ch + 7) / 8;
        c.coef = nullptr;
    }
    return kOk;
}

int Decoder::read_huffman(int length) {
    length -= 2;
    while (length > 0) {
        if (length < 17) return fail("JPEG: bad Huffman table");
        const int tcth = byte();
        uint8_t counts[16];
        int total = 0;
        for (uint8_t& n : counts) {
            const int b = byte();
            if (b < 0) return fail("JPEG: data ends early");
            n = uint8_t(b);
            total += b;
        }
        const int tc = tcth >> 4, th = tcth & 15;
        if (tc > 1 || th > 3) return fail("JPEG: bad Huffman table");
        if (total > 256 || 17 + total > length) return fail("JPEG: Huffman table overflows");
        uint8_t values[256];
        for (int i = 0; i < total; ++i) {
            const int b = byte();
            if (b < 0) return fail("JPEG: data ends early");
            // A DC difference never has more than 15 bits.
            if (tc == 0 && b > 15) return fail("JPEG: bad Huffman table");
            values[i] = uint8_t(b);
        }
        HuffTable& h = tc == 0 ? tables.dc[th] : tables.ac[th];
        if (!build_table(h, counts, values, tc == 1 ? tables.fast_ac[th] : nullptr)) {
            h.defined = false;
            return fail("JPEG: Huffman table overflows");
        }
        length -= 17 + total;
    }
    return kOk;
}

int Decoder::read_quant(int length) {
    length -= 2;
    while (length > 0) {
        const int pqtq = byte();
        if (pqtq < 0) return fail("JPEG: data ends early");
        const int pq = pqtq >> 4, tq = pqtq & 15;
        if (pq > 1 || tq > 3) return fail("JPEG: bad quantisation table");
        if (length < 1 + 64 * (pq + 1)) return fail("JPEG: bad quantisation table");
        for (int k = 0; k < 64; ++k) {
            const int v = pq ? be16() : byte();
            if (v < 0) return fail("JPEG: data ends early");
            tables.quant[tq][kZigZag[k]] = uint16_t(v);
        }
        tables.quant_defined[tq] = true;
        length -= 1 + 64 * (pq + 1);
    }
    return kOk;
}

int Decoder::read_scan(int length) {
    if (!frame_) return fail("JPEG: scan before frame");
    const int ns = byte();
    if (ns < 1 || ns > nf_ || length != 6 + 2 * ns) return fail("JPEG: bad scan header");
    bool used[3] = {};
    for (int i = 0; i < ns; ++i) {
        const int id = byte();
        const int t = byte();
        if (t < 0) return fail("JPEG: data ends early");
        int found = -1;
        for (int j = 0; j < nf_; ++j) {
            if (comp_[j].id == id) found = j;
        }
        if (found < 0 || used[found]) return fail("JPEG: bad scan header");
        // Components come in frame order in an interleaved scan.
        if (i > 0 && found < scomp_[i - 1]) return fail("JPEG: bad scan header");
        used[found] = true;
        scomp_[i] = found;
        if ((t >> 4) > 3 || (t & 15) > 3) return fail("JPEG: bad scan header");
        comp_[found].td = uint8_t(t >> 4);
        comp_[found].ta = uint8_t(t & 15);
    }
    const int ss = byte();
    const int se = byte();
    const int a = byte();
    if (a < 0) return fail("JPEG: data ends early");
    ns_ = ns;
    if (progressive_) {
        ss_ = ss;
        se_ = se;
        ah_ = a >> 4;
        al_ = a & 15;
        if (ss > se || se > 63 || (ss == 0 && se != 0) || (ss > 0 && ns != 1) || ah_ > 13 ||
            al_ > 13) {
            return fail("JPEG: bad scan header");
        }
    } else {
        ss_ = 0;
        se_ = 63;
        ah_ = al_ = 0;
    }
    for (int i = 0; i < ns; ++i) {
        const Component& c = comp_[scomp_[i]];
        if (ss_ == 0 && ah_ == 0 && !tables.dc[c.td].defined)
            return fail("JPEG: missing Huffman table");
        if (se_ > 0 && !tables.ac[c.ta].defined) return fail("JPEG: missing Huffman table");
    }

    if (!buffered_ && !progressive_ && ns == nf_) {
        for (int i = 0; i < nf_; ++i) {
            if (!tables.quant_defined[comp_[i].tq]) return fail("JPEG: missing quantisation table");
        }
        return kOk;
    }
    if (!buffered_) {
        // Every coefficient of the image, 16 bits each: sizes from the file, counted in 64 bits.
        uint64_t blocks = 0;
        for (int i = 0; i < nf_; ++i) blocks += uint64_t(comp_[i].bw) * comp_[i].bh;
        const uint64_t need = blocks * 64 * sizeof(int16_t);
        uint8_t* area = workArea;
        uint64_t size = workAreaSize;
        const uintptr_t misalign = uintptr_t(area) % alignof(int16_t);
        if (area && misalign) {
            area += alignof(int16_t) - misalign;
            size = size > 0 ? size - 1 : 0;
        }
        if (!area || need > size) {
            return fail(progressive_ ? "JPEG: progressive image too large"
                                     : "JPEG: multi-scan image too large");
        }
        std::memset(area, 0, size_t(need));
        int16_t* next = reinterpret_cast<int16_t*>(area);
        for (int i = 0; i < nf_; ++i) {
            comp_[i].coef = next;
            next += size_t(comp_[i].bw) * comp_[i].bh * 64;
        }
        buffered_ = true;
    }
    return kOk;
}

template <bool kDequantise>
uint32_t Decoder::decode_block(Component& c, int16_t* block) {
    const HuffTable& ac = tables.ac[c.ta];
    const int16_t* fast_ac = tables.fast_ac[c.ta];
    const uint16_t* q = tables.quant[c.tq];
    const int s = decode(tables.dc[c.td]);
    if (s) c.pred = int16_t(c.pred + extend(s));
    const int32_t dc = kDequantise ? c.pred * q[0] : c.pred;
    block[0] = int16_t(dc);
    uint32_t columns = dc != 0;
    for (int k = 1; k < 64;) {
        if (nbits_ < 16) fill();
        const int32_t fast = fast_ac[peek(kFastBits)];
        int32_t value;
        if (fast) {
            consume(fast & 15);
            k += (fast >> 4) & 15;
            value = fast >> 8;
        } else {
            const int rs = decode(ac);
            const int run = rs >> 4, size = rs & 15;
            if (size == 0) {
                if (run != 15) break;
                k += 16;
                continue;
            }
            k += run;
            value = extend(size);
        }
        if (k > 63) break;  // a corrupt run: the block ends here
        const int z = kZigZag[k];
        block[z] = int16_t(kDequantise ? value * q[z] : value);
        columns |= 1u << (z & 7);
        ++k;
    }
    return columns;
}

void Decoder::decode_dc_first(Component& c, int16_t* block) {
    const int s = decode(tables.dc[c.td]);
    if (s) c.pred = int16_t(c.pred + extend(s));
    block[0] = int16_t(uint32_t(c.pred) << al_);
}

void Decoder::decode_dc_refine(int16_t* block) {
    if (bits(1)) block[0] = int16_t(block[0] | (1 << al_));
}

void Decoder::decode_ac_first(Component& c, int16_t* block) {
    if (eobrun_) {
        --eobrun_;
        return;
    }
    const HuffTable& ac = tables.ac[c.ta];
    for (int k = ss_; k <= se_;) {
        const int rs = decode(ac);
        const int run = rs >> 4, size = rs & 15;
        if (size) {
            k += run;
            const int32_t value = extend(size);
            if (k > se_) break;
            block[kZigZag[k]] = int16_t(uint32_t(value) << al_);
            ++k;
        } else if (run == 15) {
            k += 16;
        } else {
            eobrun_ = uint32_t(1) << run;
            if (run) eobrun_ += bits(run);
            --eobrun_;
            break;
        }
    }
}

// A refinement scan sends one more bit of every coefficient already non-zero (only where the bit
// is set does it change anything) and the coefficients that become non-zero at this bit.
void Decoder::decode_ac_refine(Component& c, int16_t* block) {
    const int p1 = 1 << al_;
    const int m1 = -p1;
    int k = ss_;
    auto correct = [&](int16_t* coef) {
        if (bits(1) && (*coef & p1) == 0) *coef = int16_t(*coef + (*coef >= 0 ? p1 : m1));
    };
    if (eobrun_ == 0) {
        const HuffTable& ac = tables.ac[c.ta];
        for (; k <= se_; ++k) {
            const int rs = decode(ac);
            int run = rs >> 4;
            const int size = rs & 15;
            int value = 0;
            if (size) {
                // Any size but 1 is corrupt; its value bit is read all the same.
                value = bits(1) ? p1 : m1;
            } else if (run != 15) {
                eobrun_ = uint32_t(1) << run;
                if (run) eobrun_ += bits(run);
                break;
            }
            // Skip `run` coefficients still zero, refining the non-zero ones passed on the way.
            for (; k <= se_; ++k) {
                int16_t* coef = block + kZigZag[k];
                if (*coef != 0) {
                    correct(coef);
                } else {
                    if (run == 0) break;
                    --run;
                }
            }
            if (value && k <= se_) block[kZigZag[k]] = int16_t(value);
        }
    }
    if (eobrun_ > 0) {
        for (; k <= se_; ++k) {
            int16_t* coef = block + kZigZag[k];
            if (*coef != 0) correct(coef);
        }
        --eobrun_;
    }
}

template <Decoder::Scan kScan>
void Decoder::decode_buffered_block(Component& c, int16_t* block) {
    if constexpr (kScan == Scan::kSequential) decode_block<false>(c, block);
    if constexpr (kScan == Scan::kDcFirst) decode_dc_first(c, block);
    if constexpr (kScan == Scan::kDcRefine) decode_dc_refine(block);
    if constexpr (kScan == Scan::kAcFirst) decode_ac_first(c, block);
    if constexpr (kScan == Scan::kAcRefine) decode_ac_refine(c, block);
}

bool Decoder::mcu_row_visible(uint32_t my, int* row) {
    const int top = int(my) * mcuh_;
    const int rows = height_ - top < mcuh_ ? height_ - top : mcuh_;
    for (int r = 0; r < rows; ++r) {
        if (sink_.visible(top + r, 0, width_)) {
            *row = top + r;
            return true;
        }
    }
    return false;
}

void Decoder::emit_mcu(uint32_t mx, uint32_t my, int row) {
    const int left = int(mx) * mcuw_;
    if (!sink_.visible(row, left, mcuw_)) return;
    Tables& t = tables;
    if (nf_ == 1) {
        idct_block(t.block[0], t.block_quant[0], t.columns[0], t.planes.y, 16);
        grey_to_565(t.planes.y, t.pixels);
    } else {
        const int h = comp_[0].h, n = h * comp_[0].v;
        for (int b = 0; b < n; ++b) {
            idct_block(t.block[b], t.block_quant[b], t.columns[b],
                       t.planes.y + (b / h) * 8 * 16 + (b % h) * 8, 16);
        }
        idct_block(t.block[n], t.block_quant[n], t.columns[n], t.planes.cb, 8);
        idct_block(t.block[n + 1], t.block_quant[n + 1], t.columns[n + 1], t.planes.cr, 8);
        ycc_to_565(t.planes, h == 2, comp_[0].v == 2, t.pixels);
    }
    const int top = int(my) * mcuh_;
    const int rows = height_ - top < mcuh_ ? height_ - top : mcuh_;
    const int count = width_ - left < mcuw_ ? width_ - left : mcuw_;
    for (int r = 0; r < rows; ++r) sink_.row(top + r, left, t.pixels + r * 16, count);
}

int Decoder::scan_direct() {
    Tables& t = tables;
    int blocks = 0;
    for (int i = 0; i < nf_; ++i) blocks += comp_[i].h * comp_[i].v;
    for (int b = 0; b < blocks; ++b) {
        t.block[b] = t.mcu[b];
        t.block_quant[b] = nullptr;
    }
    uint32_t left = restart_interval_;
    for (uint32_t my = 0; my < mcus_y_; ++my) {
        if (sink_.below_clip(int(my) * mcuh_)) break;
        int row = 0;
        const bool visible = mcu_row_visible(my, &row);
        for (uint32_t mx = 0; mx < mcus_x_; ++mx) {
            if (next_interval(&left) != kOk) return kError;
            std::memset(t.mcu, 0, sizeof(t.mcu[0]) * size_t(blocks));
            int b = 0;
            for (int i = 0; i < nf_; ++i) {
                Component& c = comp_[i];
                for (int j = c.h * c.v; j > 0; --j, ++b)
                    t.columns[b] = decode_block<true>(c, t.mcu[b]);
            }
            if (check_mcu() != kOk) return kError;
            if (visible) emit_mcu(mx, my, row);
        }
    }
    return damaged_ ? fail("JPEG: corrupt data") : kOk;
}

int Decoder::scan_buffered() {
    if (!progressive_) return scan_buffered_as<Scan::kSequential>();
    if (ss_ == 0) {
        return ah_ == 0 ? scan_buffered_as<Scan::kDcFirst>() : scan_buffered_as<Scan::kDcRefine>();
    }
    return ah_ == 0 ? scan_buffered_as<Scan::kAcFirst>() : scan_buffered_as<Scan::kAcRefine>();
}

template <Decoder::Scan kScan>
int Decoder::scan_buffered_as() {
    uint32_t left = restart_interval_;
    // One component alone: its blocks in raster order, those outside the image not coded.
    const bool single = ns_ == 1;
    const Component& first = comp_[scomp_[0]];
    const uint32_t units_x = single ? first.cbw : mcus_x_;
    const uint32_t units_y = single ? first.cbh : mcus_y_;
    for (uint32_t uy = 0; uy < units_y; ++uy) {
        for (uint32_t ux = 0; ux < units_x; ++ux) {
            if (next_interval(&left) != kOk) return kError;
            if (single) {
                Component& c = comp_[scomp_[0]];
                decode_buffered_block<kScan>(c, block_at(c, ux, uy));
            } else {
                for (int i = 0; i < ns_; ++i) {
                    Component& c = comp_[scomp_[i]];
                    for (uint32_t v = 0; v < c.v; ++v) {
                        for (uint32_t h = 0; h < c.h; ++h)
                            decode_buffered_block<kScan>(c,
                                                         block_at(c, ux * c.h + h, uy * c.v + v));
                    }
                }
            }
            if (check_mcu() != kOk) return kError;
        }
    }
    return kOk;
}

int Decoder::output_buffered() {
    Tables& t = tables;
    for (int i = 0; i < nf_; ++i) {
        if (!tables.quant_defined[comp_[i].tq]) return fail("JPEG: missing quantisation table");
    }
    for (uint32_t my = 0; my < mcus_y_; ++my) {
        if (sink_.below_clip(int(my) * mcuh_)) break;
        int row = 0;
        if (!mcu_row_visible(my, &row)) continue;
        for (uint32_t mx = 0; mx < mcus_x_; ++mx) {
            if (!sink_.visible(row, int(mx) * mcuw_, mcuw_)) continue;
            int b = 0;
            for (int i = 0; i < nf_; ++i) {
                const Component& c = comp_[i];
                const uint16_t* q = tables.quant[c.tq];
                for (uint32_t v = 0; v < c.v; ++v) {
                    for (uint32_t h = 0; h < c.h; ++h, ++b) {
                        const int16_t* src = block_at(c, mx * c.h + h, my * c.v + v);
                        int16_t any[8] = {};
                        for (int r = 0; r < 8; ++r) {
                            for (int k = 0; k < 8; ++k) any[k] = int16_t(any[k] | src[r * 8 + k]);
                        }
                        uint32_t columns = 0;
                        for (int k = 0; k < 8; ++k) columns |= uint32_t(any[k] != 0) << k;
                        t.block[b] = src;
                        t.block_quant[b] = q;
                        t.columns[b] = columns;
                    }
                }
            }
            emit_mcu(mx, my, row);
        }
    }
    return kOk;
}

int Decoder::run() {
    if (byte() != 0xFF || byte() != 0xD8) return fail("JPEG: not a JPEG file");
    for (int i = 0; i < 4; ++i) tables.dc[i].defined = tables.ac[i].defined = false;
    for (bool& q : tables.quant_defined) q = false;
    for (;;) {
        const int marker = next_marker();
        if (marker < 0) {
            if (scanned_) {
                output_buffered();
                return fail("JPEG: data ends early");
            }
            return fail("JPEG: data ends early");
        }
        if (marker == 0xD9) {
            if (!scanned_) return fail("JPEG: no image");
            return output_buffered();
        }
        // Markers that stand alone: stray restart markers, TEM, a repeated SOI.
        if ((marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) continue;
        if (marker >= 0xC9 && marker <= 0xCF) return fail("JPEG: arithmetic coding not supported");
        if (marker == 0xC3 || (marker >= 0xC5 && marker <= 0xC7))
            return fail("JPEG: lossless or hierarchical not supported");
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            if (read_frame(marker) != kOk) return kError;
            continue;
        }
        const int length = be16();
        if (length < 2) return fail(length < 0 ? "JPEG: data ends early" : "JPEG: bad segment");
        int result = kOk;
        switch (marker) {
            case 0xC4:
                result = read_huffman(length);
                break;
            case 0xDB:
                result = read_quant(length);
                break;
            case 0xDD: {
                const int ri = be16();
                if (length != 4 || ri < 0) return fail("JPEG: bad restart interval");
                restart_interval_ = uint32_t(ri);
                break;
            }
            case 0xDA: {
                if (read_scan(length) != kOk) return kError;
                reset_bits();
                reset_predictors();
                eof_ = false;
                if (!buffered_) return scan_direct();
                const int scan = scan_buffered();
                scanned_ = true;
                if (scan != kOk) {
                    // Show what the scans so far hold.
                    output_buffered();
                    return kError;
                }
                reset_bits();
                break;
            }
            default:
                if (!skip(uint32_t(length - 2))) return fail("JPEG: data ends early");
                break;
        }
        if (result != kOk) return kError;
    }
}

}  // namespace

}  // namespace gui::jpeg

void GUI_JPEG_SetWorkArea(void* area, uint32_t size) {
    gui::jpeg::workArea = static_cast<uint8_t*>(area);
    gui::jpeg::workAreaSize = area ? size : 0;
}

int GUI_JPEG_DrawEx(GUI_GET_DATA_FUNC* getData, void* user, int x, int y) {
    if (!getData) return 1;
    gui::ImageStream stream(getData, user);
    gui::ImageSink sink(x, y);
    gui::jpeg::Decoder decoder(stream, sink);
    return decoder.run();
}
