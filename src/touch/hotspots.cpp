#include "touch/hotspots.h"

// No hotspot can be defined yet, so a dispatch step has nothing to do.
void handle_touch() {}
void ButtonTimer() {}
