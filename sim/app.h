// voxa-sim from parsed options to exit code: opens the world (state folder, log, endpoints),
// powers the module on, plays the script or serves the hosts, and winds down.
#pragma once

#include "sim/cli_options.h"

namespace sim {

// Exit codes of voxa-sim.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // a script expectation failed, the firmware crashed or hung
constexpr int kExitUsage = 2;

int run_app(const CliOptions& options);

}  // namespace sim
