// The controls' side of macro/macro_env.h.
#include "controls/sliders.h"
#include "macro/macro_env.h"

// n names a hotspot, as "sv" and the slider's reports do. No circular slider can exist, so
// only the linear sliders answer.
int macroSliderValue(int n, int32_t* value) {
    const int i = KV_Slider_Find(n);
    if (i < 0) return 0;
    *value = KV_Slider_GetValue(i);
    return 1;
}
