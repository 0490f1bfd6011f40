// The line pipeline for callgrind (scripts/callgrind-line-pipeline.sh): each of the five lines
// run COUNT times with collection on only around them, and the counts dumped once per line
// (part "line-NAME"), so that start-up and the other lines stay out of each figure. Outside
// valgrind the requests do nothing and the program just runs the lines.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "line_pipeline.h"

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: %s [COUNT]\n", argv[0]);
        return 2;
    }
    line_pipeline::start_firmware();
    for (const auto& line : line_pipeline::kLines) {
        const std::string reply = line_pipeline::reply_to(line);
        const size_t n = std::strlen(line.text);
        CALLGRIND_ZERO_STATS;
        CALLGRIND_TOGGLE_COLLECT;
        for (long i = 0; i < count; ++i) line_pipeline::run_line(line.text, n);
        CALLGRIND_TOGGLE_COLLECT;
        CALLGRIND_DUMP_STATS_AT((std::string("line-") + line.name).c_str());
        std::printf("%s\t%ld\t", line.name, count);
        for (const char c : reply)
            std::fputs(c == '\r' ? "\\r" : std::string(1, c).c_str(), stdout);
        std::printf("\n");
    }
    return 0;
}
