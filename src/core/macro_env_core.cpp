// The serial core's side of macro/macro_env.h.
#include "core/serial.h"
#include "macro/macro_env.h"

int macroAbortRequested() {
    return checkAbortCmd();
}

int macroEscapeWaiting() {
    return checkEscape();
}

uint32_t macroHostBaud() {
    return KV_COM_getBaud(hostPort());
}
