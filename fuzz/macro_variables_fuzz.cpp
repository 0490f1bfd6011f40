// Variable expansion and arithmetic of random lines, with random variables and macro arguments,
// into destinations of random sizes, each exactly as large as its size (ASan catches a write or
// read past it); the output must be NUL-terminated inside it. Then the variable commands through
// parse_command.
//
// The input is read as a small program: variables and arguments first, then lines made of
// pieces that matter to the filters (items, field formats, expressions, backquotes, comments)
// and the input's own bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boards/sim/standalone.h"
#include "fuzz_support.h"
#include "macro/variables.h"

namespace {

const char* const kPieces[] = {
    "`",
    "``",
    "`i1`",
    "`%5 i1`",
    "`%-3 i2`",
    "`%+05 i0`",
    "`s1`",
    "`%10.3 s2`",
    "`%-8.80 s3`",
    "`%2.999 0`",
    "`0`",
    "`9`",
    "`M`",
    "`p1`",
    "`%4 p2`",
    "`p3.x`",
    "`p3.y`",
    "`e0`",
    "`eF`",
    "`e10`",
    "`V`",
    "`B`",
    "`W1`",
    "`H2`",
    "`L130`",
    "`R1:6`",
    "`R-2147483648:2147483647`",
    "`R5:1`",
    "`Xr`",
    "`Ya`",
    "`Xm`",
    "`Yc`",
    "`Xo`",
    "`Ys`",
    "`$BAUD0`",
    "`(",
    ")`",
    "`(1+2)`",
    "`(-2147483648/-1)`",
    "`(-2147483648%-1)`",
    "`(7/0)`",
    "`(7%0)`",
    "`(5 +3)`",
    "`(99999999999*2)`",
    "`(`i1`*3)`",
    "(",
    ")",
    "//",
    "/*",
    "/",
    "\"",
    " ",
    "%",
    "x",
    "12345",
    "-",
    "`%",
    "`%5 ",
    "`%123456 i1`",
};

class Input : public fuzz::ByteReader {
  public:
    using ByteReader::ByteReader;

    std::string text(size_t max) {
        std::string s;
        const int pieces = byte() % 40;
        for (int i = 0; i < pieces && s.size() < max; ++i) {
            const uint8_t b = byte();
            if (b < 0xA0) {
                s += kPieces[b % (sizeof kPieces / sizeof kPieces[0])];
            } else {
                const char c = char(byte());
                if (c != 0) s += c;
            }
        }
        if (s.size() > max) s.resize(max);
        return s;
    }

    int32_t number() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return int32_t(v);
    }
};

// One filter into a destination of exactly size bytes.
template <typename Filter>
std::string run_filter(const std::string& src, size_t size, Filter filter) {
    char* out = new char[size];
    filter(out, size, src.c_str());
    if (std::memchr(out, 0, size) == nullptr) {
        std::fprintf(stderr, "output of size %zu not terminated for: %s\n", size, src.c_str());
        std::abort();
    }
    std::string result(out);
    delete[] out;
    return result;
}

const char* const kCommands[] = {
    "set i%n %v",      "setx i%n %v", "set e%n %v",      "setx e%n %v",
    "set p%n %v %v",   "set s%n %t",  "set s%n \"%t\"",  "get i%n",
    "getx i%n",        "getq s%n",    "get%t",           "get s%n",
    "get p%n",         "getd e%n",    "mpush \"%t\" %v", "mpush %n \"%t\" %v",
    "mpush %n \"%t\"", "mpop %v",     "mpop %n %v",      "set%t",
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::start_command_firmware(sim::Standalone::instance());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Standalone& board = sim::Standalone::instance();
    KV_Macros_Init();
    Input in(data, size);

    // Variables and arguments.
    for (int n = 0; n < kMacroVarCount; ++n) {
        setMacro_iMem(n, in.number());
        setMacro_pt(n, in.number(), in.number());
        setMacroString2(in.text(kMacroStringMax + 20).c_str(), n);
    }
    pushMacroString(in.text(kMacroStringMax).c_str(), 1 + in.byte() % kMacroPushLimitMax);
    std::string args[kMacroArgCount];
    const char* argv[kMacroArgCount];
    for (int n = 0; n < kMacroArgCount; ++n) {
        args[n] = in.text(129);
        argv[n] = (in.byte() & 3) == 0 ? nullptr : args[n].c_str();
    }
    const bool host = in.byte() & 1;

    // Lines through both filters.
    for (int lines = 0; lines < 16 && !in.done(); ++lines) {
        const std::string line = in.text(200);
        const size_t out_size = 1 + in.byte() % 130;
        const std::string expanded =
            run_filter(line, out_size, [&](char* dst, size_t n, const char* src) {
                expandVariables(dst, n, src, host ? nullptr : argv);
            });
        run_filter(expanded, out_size,
                   [](char* dst, size_t n, const char* src) { processMath(dst, n, src); });
        run_filter(line, out_size,
                   [](char* dst, size_t n, const char* src) { processMath(dst, n, src); });
    }

    // The commands, on what is left of the input.
    fuzz::run_command_lines(board, in, kCommands, 24, [&](char kind) -> std::string {
        switch (kind) {
            case 'n':
                return std::to_string(int(in.byte() % 20) - 2);
            case 'v':
                return std::to_string(in.number() >> (in.byte() % 32));
            default:
                return in.text(100);
        }
    });
    return 0;
}
