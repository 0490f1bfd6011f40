#include "touch/touch.h"

// The touch controller is not sampled yet; the panel reads as untouched.
void KV_Touch_Init() {}
void KV_Update_Touch() {}
