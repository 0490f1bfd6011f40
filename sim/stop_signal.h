// Ctrl-C, SIGTERM and SIGHUP end a run the orderly way (terminal restored, PTY links removed,
// screenshot and log written) instead of killing voxa-sim on the spot.
#pragma once

namespace sim {

void install_stop_handlers();
bool stop_requested();

}  // namespace sim
