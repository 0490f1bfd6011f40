#include "core/calibration_command.h"

#include "base/interpreter.h"
#include "base/text_helpers.h"
#include "core/main_loop.h"
#include "drawing/drawing_state.h"
#include "touch/calibration.h"
#include "touch/hotspots.h"

int row_calibrate(char* line) {
    if (!prefix(line, "tc")) return kNoMatch;
    // Calibration needs the touches even after "touch off"; the targets are drawn from the
    // screen's corner whatever origin the host had set.
    ignoreTouch = 0;
    setOrigin(0, 0);
    doCalibration();
    GUIDEMO_Clear(0);
    return kCmdDone;
}
