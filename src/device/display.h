// Bringing the LCD controller up and switching the whole display on and off: the sequences that
// drive the panel timing (panel_timing.h) and the backlight (backlight.h) together.
#pragma once

// Sets the VQ select line from the panel width and programs the controller.
void InitLCD(int width);
// Timing defaults, timing registers, the PWM clock and the controller's clock.
void InitLCD_VGA();

// "v on" / "v of": the whole display on or off, in the panel's power sequence.
void KV_Display_On();
void KV_Display_Off();
