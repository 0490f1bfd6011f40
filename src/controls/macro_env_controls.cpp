// The controls' side of macro/macro_env.h.
#include "macro/macro_env.h"

// No slider can be defined yet, so no slider has a value and the "L" item expands to nothing.
// This is where the sliders answer once they exist: the linear slider n, else the circular one.
int macroSliderValue(int, int32_t*) {
    return 0;
}
