// voxa-sim: the VOXA5-PLUS display module on a simulated board, wired to terminals, PTYs, TCP
// ports or a script.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "sim/app.h"
#include "sim/cli_options.h"

namespace {

// Started with a standard descriptor closed (as some service runners do), the next file
// voxa-sim opens would take its number, and the shared memory of the board would be read as
// typed input. /dev/null holds the place instead.
void hold_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd) close(null);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    hold_standard_descriptors();
    sim::CliOptions options;
    std::string error;
    switch (sim::parse_cli(argc, argv, &options, &error)) {
        case sim::CliParse::kHelp:
            std::fputs(sim::usage_text().c_str(), stdout);
            return sim::kExitOk;
        case sim::CliParse::kError:
            std::fprintf(stderr, "voxa-sim: %s\n(voxa-sim --help lists the options)\n",
                         error.c_str());
            return sim::kExitUsage;
        case sim::CliParse::kRun:
            break;
    }
    return sim::run_app(options);
}
