#include "controls/controls.h"

// The control tables are empty until the controls are built.
void KV_Chart_Init() {}
