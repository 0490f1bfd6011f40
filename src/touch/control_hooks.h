// The screen controls that are hotspots too (bitmap buttons, sliders) sit above the touch
// module. Where a touch must reach one of them, it calls through this table, which the controls
// module fills at start-up. Every hook starts as "no such control".
#pragma once

struct TouchControlHooks {
    // Sliders: the linear slider that owns a hotspot, or -1; its value; moving it to a point
    // (returns the new value); freeing it.
    int (*sliderFind)(int spot);
    int (*sliderValue)(int slider);
    int (*sliderTouched)(int slider, int x, int y);
    void (*sliderUnset)(int slider);
    // The same for circular sliders.
    int (*circSliderFind)(int spot);
    int (*circSliderValue)(int slider);
    int (*circSliderTouched)(int slider, int x, int y);
    // Whether a screen point lies in any slider (the drag test).
    int (*isXYinSlider)(int x, int y);
    // Bitmap buttons: the state of the button of a hotspot (0 or 1); drawing it in a state
    // (the state is stored); redrawing it as re-enabling shows it.
    int (*buttonState)(int spot);
    void (*buttonShow)(int spot, int state);
    void (*buttonRedraw)(int spot);
};

// Installs hooks; a null member keeps the hook installed before (at first "no such control").
void KV_Touch_SetControlHooks(const TouchControlHooks& hooks);
// Back to no controls at all.
void KV_Touch_ResetControlHooks();
// The hooks in force (never null members).
const TouchControlHooks& touchControls();
