// The firmware on the in-process simulated board, brought to the state start-up leaves it in
// before the main loop, so that unit tests can call command handlers directly.
#pragma once

#include <string>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "core/serial.h"
#include "device/board.h"
#include "gui/gui.h"
#include "settings/settings.h"

namespace voxa_test {

inline void start_firmware_in_process() {
    static bool started = false;
    if (started) return;
    started = true;
    sim::Standalone::instance();
    interrupt_init();
    InitEverything();
    KV_EEPROM_SetDefaults();
    KV_COM_Init0();
    KV_COM_Init1();
    Init_485mode();
    KV_GUI_Init();
}

// What the firmware sent to the host since the last call (waiting until it has left).
inline std::string host_output() {
    txWait();
    return sim::Standalone::instance().take_output(hostPort());
}

}  // namespace voxa_test
