// config.ini parsing: any text (NULs included) merged into the settings record, every key in
// verbose mode so the messages that quote the text are built too.
#include <cstdint>
#include <cstring>
#include <vector>

#include "boards/sim/standalone.h"
#include "core/serial.h"
#include "device/board.h"
#include "settings/config_ini.h"
#include "settings/settings.h"

namespace {

bool start() {
    sim::Standalone::instance();
    interrupt_init();
    KV_COM_Init0();
    KV_COM_Init1();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = start();
    (void)started;
    KV_EEPROM_SetDefaults();
    std::vector<char> text(data, data + size);
    text.push_back(0);
    KV_Config_MergeText(text.data());
    // The same text with verbose forced on, and a destination too small for most values.
    static const char kVerbose[] = "verbose = 1\n";
    std::vector<char> loud(kVerbose, kVerbose + sizeof kVerbose - 1);
    loud.insert(loud.end(), data, data + size);
    loud.push_back(0);
    KV_Config_MergeText(loud.data());
    char small[4];
    lookforQuotedString(text.data(), "config", small, sizeof small, 1);
    sim::Standalone::instance().take_output(0);
    sim::Standalone::instance().take_output(1);
    return 0;
}
