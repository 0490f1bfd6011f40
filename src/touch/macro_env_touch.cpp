// The touch module's side of macro/macro_env.h.
#include "macro/macro_env.h"
#include "touch/hotspots.h"
#include "touch/touch.h"

void macroServeTouch() {
    handle_touch();
}

int macroTouchPoint(char which, char axis, int32_t* value) {
    if (axis != 'X' && axis != 'Y') return 0;
    const bool x = axis == 'X';
    switch (which) {
        case 'r':
            *value = x ? lastHotRX : lastHotRY;
            return 1;
        case 'a':
            *value = x ? lastHotAX : lastHotAY;
            return 1;
        default:
            return 0;
    }
}

// Read as the "temp" command reads it: the sampler is parked around the reading.
int macroTemperatureTenths(int32_t* value) {
    *value = readTemp();
    return 1;
}
