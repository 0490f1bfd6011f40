#include "command/chain.h"

#include "command/drawing_rows.h"
#include "command/parse_command.h"
#include "command/screen_rows.h"
#include "core/port_commands.h"
#include "core/system_commands.h"
#include "device/backlight_commands.h"

// Provisional chain: the rows built so far.
const Row kChain[] = {
    {"p", row_pixel_read, "pr"},
    {"p", row_pixel_write, "pw"},
    {"Q", row_poll, "Q"},
    {"*", row_rs485, "*rs485"},
    {"s", row_save_restore, "ss/sr"},
    {"p", row_polygon, "pgr/pg"},
    {"p", row_polygon_fill, "pfr/pf"},
    {"p", row_polygon_again, "ppgr"},
    {"p", row_polyline, "plr/pl"},
    {"p", row_pen, "p"},
    {"sS", row_ignored, "sb/su/SB/SU"},
    {"b", row_baud, "baud"},
    {"x", row_xbl, "xbl"},
    {"d", row_point, "dp"},
    {"d", row_draw_mode, "d"},
    {"s", row_palette, "s"},
    {"S", row_colors, "S"},
    {"s", row_cursor, "sc"},
    {"o", row_out, "out"},
    {"a", row_aout, "aout"},
    {"a", row_ain, "ain"},
    {"a", row_auxio, "auxIO"},
    {"o", row_origin, "o"},
    {"v", row_video, "v on/of"},
    {"z", row_clear_keep, "zs"},
    {"z", row_clear, "z"},
    {"l", row_line, "l"},
    {"r", row_rect, "r"},
    {"t", row_triangle, "tr"},
    {"a", row_arc, "a"},
    {"e", row_ellipse, "ef/e"},
    {"c", row_circle, "c"},
    {"*", row_state, "*STATE/*STATEF"},
    {"w", row_wait, "w"},
    {"v", row_vers, "vers"},
    {"i", row_image, "i"},
    {"x", row_xbb, "xbb"},
    {"*", row_notes, "*macdebug/*binr/*macnote"},
    {"*", row_reset, "*MFGRESET/*RESET"},
    {"*", row_prevcons, "*prevCons"},
    {"*", row_auxesc, "*auxEsc"},
    {"*", row_commain, "*com1main/*com0main"},
    {"*", row_rst, "*rst"},
    {"*", row_prompt_test, "*SERR/*IERR"},
    {"*", row_bmoff, "*BMOFF"},
    {"w", row_area, "ws/wr"},
    {"w", row_wait_scan, "wvr/wrf"},
    {"k", row_scroll, "k"},
    {"*", row_panel, "*panel"},
    {"*", row_config, "*config"},
    {"*", row_brite_limits, "*maxBrite/*minBrite/*invEnaHiTrue/*pwmIsEnable"},
    {"*", row_firmware, "*firmware"},
    {"/", row_comment, "//"},
    {"*", row_ctype, "*ctype"},
};
const size_t kChainLength = sizeof kChain / sizeof kChain[0];
