#include "touch/hotspot_sensing.h"

// Until the sampler runs, the panel reads as untouched.
void KV_GetLocation(int* x, int* y) {
    if (!x || !y) return;
    *x = -1;
    *y = -1;
}
void KV_Touch_Get_State(int* pressed, int* first, int* second) {
    if (pressed) *pressed = 0;
    if (first) *first = -1;
    if (second) *second = -1;
}
void KV_Touch_Info(int* lastPress, int* pMin, int* pMax, int* state) {
    if (lastPress) *lastPress = 0;
    if (pMin) *pMin = 0;
    if (pMax) *pMax = 0;
    if (state) *state = 0;
}
void enableTouch(int) {}
