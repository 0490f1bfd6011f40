// voxa-sim: the VOXA5-PLUS display module on a simulated board, wired to terminals, PTYs, TCP
// ports or a script.
#include <cstdio>
#include <string>

#include "sim/app.h"
#include "sim/cli_options.h"

int main(int argc, char** argv) {
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
