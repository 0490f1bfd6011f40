#include "base/settings_record.h"

EepromData eepromData;
