// Panel power, the backlight inverter and the brightness PWM.
#pragma once

#include <cstdint>

void KV_Panel_Power(int on);
void KV_External_Inverter_On();
void KV_External_Inverter_Off();
// Stores brite = b (RAM only) and sets the PWM from the maxBrite/minBrite end points.
void KV_Brite_Set(int b);
// The PWM value v (before the pulse-width inversion) for brightness b.
int KV_Brite_PwmValue(int b);
// The first call lights the backlight at the stored brightness; later calls do nothing.
void KV_Visibility_Init();
// Selects the PWM clock and output mode from pwmIsEnable.
void setLCDpwmClock();
