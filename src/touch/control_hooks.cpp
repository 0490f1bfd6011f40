#include "touch/control_hooks.h"

namespace {

int no_control(int) {
    return -1;
}
int no_value(int) {
    return 0;
}
int no_move(int, int, int) {
    return 0;
}
void no_unset(int) {}
int not_in_slider(int, int) {
    return 0;
}
int button_up(int) {
    return 0;
}
void no_drawing(int, int) {}
void no_redraw(int) {}

constexpr TouchControlHooks kNone = {
    no_control, no_value,      no_move,   no_unset,   no_control, no_value,
    no_move,    not_in_slider, button_up, no_drawing, no_redraw,
};

TouchControlHooks hooks = kNone;

// Buttons and sliders install their members in separate calls, in either order: a member left
// null keeps what is installed.
template <typename Fn>
void take(Fn& slot, Fn given, Fn) {
    if (given) slot = given;
}

}  // namespace

void KV_Touch_SetControlHooks(const TouchControlHooks& h) {
    take(hooks.sliderFind, h.sliderFind, kNone.sliderFind);
    take(hooks.sliderValue, h.sliderValue, kNone.sliderValue);
    take(hooks.sliderTouched, h.sliderTouched, kNone.sliderTouched);
    take(hooks.sliderUnset, h.sliderUnset, kNone.sliderUnset);
    take(hooks.circSliderFind, h.circSliderFind, kNone.circSliderFind);
    take(hooks.circSliderValue, h.circSliderValue, kNone.circSliderValue);
    take(hooks.circSliderTouched, h.circSliderTouched, kNone.circSliderTouched);
    take(hooks.isXYinSlider, h.isXYinSlider, kNone.isXYinSlider);
    take(hooks.buttonState, h.buttonState, kNone.buttonState);
    take(hooks.buttonShow, h.buttonShow, kNone.buttonShow);
    take(hooks.buttonRedraw, h.buttonRedraw, kNone.buttonRedraw);
}

void KV_Touch_ResetControlHooks() {
    hooks = kNone;
}

const TouchControlHooks& touchControls() {
    return hooks;
}
