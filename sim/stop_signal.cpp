#include "sim/stop_signal.h"

#include <signal.h>

namespace sim {

namespace {

volatile sig_atomic_t g_stop = 0;

void on_stop_signal(int) {
    g_stop = 1;
}

}  // namespace

void install_stop_handlers() {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a wait in poll() must end at once so that the run can wind down.
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // A host that disconnects mid-write must not kill the simulator.
    signal(SIGPIPE, SIG_IGN);
}

bool stop_requested() {
    return g_stop != 0;
}

}  // namespace sim
