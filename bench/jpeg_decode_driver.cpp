// One decode of each kind for callgrind (scripts/callgrind-jpeg.sh): ours and libjpeg-turbo's
// plain C path, baseline and progressive, each with collection on only around the decode and
// its counts dumped as part "NAME". The files are made and each decoder run once beforehand so
// that first-call set-up stays out of the figures. Outside valgrind it just decodes.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <string>
#include <vector>

#include "jpeg_decoders.h"

int main() {
    jpeg_bench::plain_c_libjpeg();
    jpeg_bench::start_ours();
    const std::vector<uint8_t> rgb = jpeg_bench::photo();
    const std::vector<uint8_t> files[2] = {jpeg_bench::compress(rgb, false),
                                           jpeg_bench::compress(rgb, true)};
    std::vector<uint16_t> out(size_t(jpeg_bench::kW) * jpeg_bench::kH);
    for (int progressive = 0; progressive < 2; ++progressive) {
        const std::vector<uint8_t>& file = files[progressive];
        const std::string kind = progressive ? "progressive" : "baseline";
        // Named: the request reads the string after the statement that makes it.
        const std::string ours_part = "ours-" + kind, theirs_part = "libjpeg-" + kind;
        if (jpeg_bench::ours(file) != 0) {
            std::fprintf(stderr, "our decoder refused the %s file\n", kind.c_str());
            return 1;
        }
        jpeg_bench::libjpeg(file, out.data());

        CALLGRIND_ZERO_STATS;
        CALLGRIND_TOGGLE_COLLECT;
        jpeg_bench::ours(file);
        CALLGRIND_TOGGLE_COLLECT;
        CALLGRIND_DUMP_STATS_AT(ours_part.c_str());

        CALLGRIND_ZERO_STATS;
        CALLGRIND_TOGGLE_COLLECT;
        jpeg_bench::libjpeg(file, out.data());
        CALLGRIND_TOGGLE_COLLECT;
        CALLGRIND_DUMP_STATS_AT(theirs_part.c_str());
        std::printf("%s\t%zu\n", kind.c_str(), file.size());
    }
    return 0;
}
