#include "command/chain.h"

#include "command/parse_command.h"
#include "core/port_commands.h"
#include "core/system_commands.h"
#include "device/backlight_commands.h"
#include "fs/sd_commands.h"
#include "settings/eeprom_commands.h"

// Provisional chain: the rows built so far.
const Row kChain[] = {
    {"Q", row_poll, "Q"},
    {"*", row_rs485, "*rs485"},
    {"sS", row_ignored, "sb/su/SB/SU"},
    {"b", row_baud, "baud"},
    {"x", row_xbl, "xbl"},
    {"o", row_out, "out"},
    {"a", row_aout, "aout"},
    {"a", row_ain, "ain"},
    {"a", row_auxio, "auxIO"},
    {"v", row_video, "v on/of"},
    {"w", row_wait, "w"},
    {"v", row_vers, "vers"},
    {"x", row_xbb, "xbb"},
    {"*", row_notes, "*macdebug/*binr/*macnote"},
    {"*", row_reset, "*MFGRESET/*RESET"},
    {"*", row_prevcons, "*prevCons"},
    {"*", row_auxesc, "*auxEsc"},
    {"*", row_commain, "*com1main/*com0main"},
    {"*", row_rst, "*rst"},
    {"*", row_prompt_test, "*SERR/*IERR"},
    {"*", row_bmoff, "*BMOFF"},
    {"*", row_panel, "*panel"},
    {"*", row_config, "*config"},
    {"*", row_brite_limits, "*maxBrite/*minBrite/*invEnaHiTrue/*pwmIsEnable"},
    {"*", row_firmware, "*firmware"},
    {"/", row_comment, "//"},
    {"*", row_ctype, "*ctype"},
    {"f", row_fopen, "fopen"},
    {"*", row_eeprom, "*eer/*eerc/*eew/*eewc/*eed/*eec/*ees"},
    {"*", row_sdled, "*sdled"},
    {"*", row_cd, "*cd"},
    {"*", row_ls, "*ls"},
    {"*", row_eel, "*eel"},
    {"i", row_i2c, "i2c read/i2c write"},
};
const size_t kChainLength = sizeof kChain / sizeof kChain[0];
