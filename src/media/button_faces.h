// The two built-in 64 x 64 button faces that "i" draws: raised and pressed.
#pragma once

#include "gui/gui.h"

constexpr int kButtonFaceSize = 64;
extern const GUI_BITMAP bmbbutton_up;
extern const GUI_BITMAP bmbbutton_dn;
