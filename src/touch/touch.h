// Touch sensing: the sampler that the millisecond interrupt runs.
#pragma once

// Hotspots cleared, controller initialised, calibration loaded from the settings.
void KV_Touch_Init();
// One sampling step; called once per millisecond by the timer interrupt.
void KV_Update_Touch();
