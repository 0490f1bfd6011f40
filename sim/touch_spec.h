// The touch panel's set-up as text, for `--touch-panel PANEL`, the script line `panel PANEL` and
// the control console: words KEY=VALUE, each changing one thing, the rest left as it is.
//
//   corners=U,V,U,V,U,V,U,V  raw (first, second) at the top-left, top-right, bottom-right and
//                            bottom-left reference points, 20 pixels in from the corners
//   swap=0|1                 1: the X channel measures the first coordinate
//   noise=N                  each position reading off by up to N raw units
//   seed=N                   of the noise
//   pressure=N               of touches given without one, in the firmware's units
//   temp=DEGREES             the board temperature, e.g. 25.0 or -5.5
//   default                  everything back to the inverse of the default calibration
#pragma once

#include <string>
#include <string_view>

#include "boards/sim/protocol.h"

namespace sim {

// Applies the words of spec to *config (whose width and height stay). false with *error, and
// *config unchanged, when a word is unknown or a value out of range.
bool apply_touch_panel_spec(std::string_view spec, simlink::TouchPanelConfig* config,
                            std::string* error);

}  // namespace sim
