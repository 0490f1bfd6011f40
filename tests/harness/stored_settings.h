// The settings record of a simulated module as its first EEPROM copy holds it now.
#pragma once

#include <cstring>

#include "sim/module.h"
#include "src/base/settings_record.h"

namespace voxa_test {

inline EepromData stored_settings(sim::Module& module) {
    EepromData d;
    std::memcpy(&d, module.eeprom(), sizeof d);
    return d;
}

}  // namespace voxa_test
