#include "command/chain.h"

#include "command/beeper_rows.h"
#include "command/bitmap_rows.h"
#include "command/chain_index.h"
#include "command/drawing_rows.h"
#include "command/parse_command.h"
#include "command/screen_rows.h"
#include "command/text_rows.h"
#include "controls/animation_rows.h"
#include "controls/button_rows.h"
#include "controls/chart_rows.h"
#include "controls/level_bar_rows.h"
#include "controls/meter_rows.h"
#include "controls/slider_rows.h"
#include "controls/text_box_rows.h"
#include "core/binary_transfer.h"
#include "core/calibration_command.h"
#include "core/diagnostic_commands.h"
#include "core/extmem_load.h"
#include "core/flash_program_commands.h"
#include "core/memory_checks.h"
#include "core/panel_commands.h"
#include "core/port_commands.h"
#include "core/screen_capture.h"
#include "core/system_commands.h"
#include "core/watchdog.h"
#include "device/backlight_commands.h"
#include "fs/sd_commands.h"
#include "macro/macro_commands.h"
#include "macro/variable_commands.h"
#include "media/extmem_commands.h"
#include "settings/eeprom_commands.h"
#include "touch/hotspot_commands.h"
#include "touch/macro_bindings.h"
#include "touch/touch_commands.h"

// The chain in the order of the command index. Where one keyword is a prefix of another, the
// longer form is tested first, inside its row or by an earlier row ("zs" before the 'z' screen
// clear, "ef" before "e", "baudp"/"bauds" before "baud", ...); rows that share no prefix could
// be reordered, but keeping the index's order keeps the two easy to compare.
constexpr Row kChain[] = {
    {"md", row_meter_define, "md/mdb"},                            // 1
    {"mv", row_meter_value, "mv"},                                 // 2
    {"mv", row_meter_band, "mvb"},                                 // 3
    {"tc", row_touch_trace_clear, "tclr"},                         // 4
    {"pr", row_pixel_read, "pr"},                                  // 5
    {"pw", row_pixel_write, "pw"},                                 // 6
    {"Q", row_poll, "Q"},                                          // 7
    {"*r", row_rs485, "*rs485"},                                   // 8
    {"ss|sr", row_save_restore, "ss/sr"},                          // 9
    {"an|tf", row_ani_clear, "anic/tfc"},                          // 10
    {"tf|an", row_ani_stop, "tfd/anid"},                           // 11
    {"an|tf", row_ani_delete, "anix/tfx"},                         // 12
    {"an", row_ani_restart, "anis"},                               // 13
    {"tf|an", row_ani_enable, "tfe/anie"},                         // 14
    {"an", row_ani_add, "ani/ani+"},                               // 15
    {"tf", row_text_field, "tf"},                                  // 16
    {"tf|an", row_ani_list, "tf?/ani?"},                           // 17
    {"tu", row_text_plain, "tu"},                                  // 18
    {"t?", row_text_width, "t?"},                                  // 19
    {"ts|t ", row_text, "ts/t"},                                   // 20
    {"T ", row_text_inline, "T"},                                  // 21
    {"st", row_stb_dump, "stdump"},                                // 22
    {"st", row_stb_define, "std"},                                 // 23
    {"st", row_stb_text, "stc/sta/stp"},                           // 24
    {"st", row_stb_scroll, "sts"},                                 // 25
    {"st", row_stb_show, "stg"},                                   // 26
    {"pg", row_polygon, "pgr/pg"},                                 // 27
    {"pf", row_polygon_fill, "pfr/pf"},                            // 28
    {"pp", row_polygon_again, "ppgr"},                             // 29
    {"pl", row_polyline, "plr/pl"},                                // 30
    {"p", row_pen, "p"},                                           // 31
    {"ta", row_text_align, "ta"},                                  // 32
    {"sb|su|SB|SU", row_ignored, "sb/su/SB/SU"},                   // 33
    {"*d", row_debug, "*debug"},                                   // 34
    {"ba", row_baud, "baudp/bauds/baud"},                          // 35
    {"te", row_temp, "temp"},                                      // 36
    {"ty", row_typematic, "typematic"},                            // 37
    {"*t", row_touch_parm, "*touchParm"},                          // 38
    {"*d", row_debounce, "*debounce"},                             // 39
    {"ls", row_list, "ls/lsmac/lsbmp"},                            // 40
    {"xb", row_xbl, "xbl"},                                        // 41
    {"xa", row_macro_args, "xa"},                                  // 42
    {"se", row_set, "set"},                                        // 43
    {"ge", row_get, "get"},                                        // 44
    {"mp", row_mstring, "mpush/mpop"},                             // 45
    {"xi", row_bitmap, "xi"},                                      // 46
    {"xi", row_image_file, "xif"},                                 // 47
    {"xi", row_bitmap_forms, "xit/xim/xic/xio"},                   // 48
    {"xm", row_extmem, "xma/xmc/xmp"},                             // 49
    {"xm|fo", row_extmem_limits, "xmpmax/fopen"},                  // 50
    {"xm", row_macro_bind, "xm"},                                  // 51
    {"bd", row_download, "bdld"},                                  // 52
    {"*e", row_eeprom, "*eer/*eerc/*eew/*eewc/*eed/*eec/*ees"},    // 53
    {"be", row_beep, "beep/beepw"},                                // 54
    {"al", row_alarm, "al"},                                       // 55
    {"bv", row_beep_volume, "bv"},                                 // 56
    {"bf", row_beep_freq, "bf"},                                   // 57
    {"*s", row_speaker, "*spkr"},                                  // 58
    {"bM|bb|rb", row_beep_misc, "bMaX/bb/rb"},                     // 59
    {"dp", row_point, "dp"},                                       // 60
    {"d", row_draw_mode, "d"},                                     // 61
    {"s", row_palette, "s"},                                       // 62
    {"S", row_colors, "S"},                                        // 63
    {"tm", row_text_mode, "tm"},                                   // 64
    {"sc", row_cursor, "sc"},                                      // 65
    {"ou", row_out, "out"},                                        // 66
    {"ao", row_aout, "aout"},                                      // 67
    {"ai", row_ain, "ain"},                                        // 68
    {"au", row_auxio, "auxIO"},                                    // 69
    {"o", row_origin, "o"},                                        // 70
    {"v ", row_video, "v on/v of"},                                // 71
    {"zs", row_clear_keep, "zs"},                                  // 72
    {"z", row_clear, "z"},                                         // 73
    {"l", row_line, "l"},                                          // 74
    {"r", row_rect, "r"},                                          // 75
    {"tr", row_triangle, "tr"},                                    // 76
    {"a", row_arc, "a"},                                           // 77
    {"e", row_ellipse, "ef/e"},                                    // 78
    {"c", row_circle, "c"},                                        // 79
    {"f", row_font, "f/f?"},                                       // 80
    {"x ", row_hotspot, "x"},                                      // 81
    {"xs|xt|xx", row_hotspot_kinds, "xs/xsnb/xt/xst/xxy/xxynb"},   // 82
    {"xs", row_hotspot_options, "xset"},                           // 83
    {"xd", row_hotspot_disable, "xd"},                             // 84
    {"xe", row_hotspot_enable, "xe"},                              // 85
    {"to", row_touch, "touch"},                                    // 86
    {"*a", row_apt, "*apt"},                                       // 87
    {"*x", row_reports_off, "*xn off"},                            // 88
    {"xc", row_hotspot_remove, "xc"},                              // 89
    {"*S", row_state, "*STATE/*STATEF"},                           // 90
    {"le", row_led, "led"},                                        // 91
    {"w", row_wait, "w"},                                          // 92
    {"ve", row_vers, "vers"},                                      // 93
    {"i", row_image, "i"},                                         // 94
    {"ss", row_button_state, "ssb"},                               // 95
    {"bd|bc", row_button, "bd/bdc/bc"},                            // 96
    {"tc", row_calibrate, "tc"},                                   // 97
    {"sl|sv", row_slider, "sl/sv"},                                // 98
    {"sl|sv", row_circular_slider, "slc/svc"},                     // 99
    {"*g", row_get_touch, "*getTouch"},                            // 100
    {"xb", row_xbb, "xbb"},                                        // 101
    {"*m|*b", row_notes, "*macdebug/*binr/*macnote"},              // 102
    {"*D|*P|*S", row_start_macros, "*DEMOMAC/*PONMAC/*SPL"},       // 103
    {"*M|*R", row_reset, "*MFGRESET/*RESET"},                      // 104
    {"*F", row_fb_dump, "*FB"},                                    // 105
    {"*C", row_memory_checks, "*CRC/*CSUM/*CSUMB/*CEXT"},          // 106
    {"*K", row_default_cal, "*KV"},                                // 107
    {"*e", row_ever, "*ever"},                                     // 108
    {"*p", row_prevcons, "*prevCons"},                             // 109
    {"*a", row_auxesc, "*auxEsc"},                                 // 110
    {"*c", row_commain, "*com1main/*com0main"},                    // 111
    {"*d", row_debug_touch, "*debugTouch"},                        // 112
    {"ut", row_utf8, "utf8"},                                      // 113
    {"*r", row_rst, "*rst"},                                       // 114
    {"*S|*I", row_prompt_test, "*SERR/*IERR"},                     // 115
    {"*B", row_bmoff, "*BMOFF"},                                   // 116
    {"cc|cr|cd|cv", row_chart, "cc/cr/cd..."},                     // 117
    {"bc", row_chart_values, "bcv"},                               // 118
    {"ld|lv", row_level_bar, "ld/lv"},                             // 119
    {"ws|wr", row_area, "ws/wr"},                                  // 120
    {"wv|wr", row_wait_scan, "wvr/wrf"},                           // 121
    {"k", row_scroll, "k"},                                        // 122
    {"*p", row_panel, "*panel"},                                   // 123
    {"*c", row_config, "*config"},                                 // 124
    {"*t", row_touch_swap, "*touchSwap"},                          // 125
    {"*t", row_touch_trace, "*tt/*ttt"},                           // 126
    {"*t", row_touchadj, "*touchadj"},                             // 127
    {"*t", row_touch_diag, "*td/*tr/*td2"},                        // 128
    {"*g", row_cal_point, "*gcp"},                                 // 129
    {"*R|*W", row_registers, "*R16/*R/*W"},                        // 130
    {"*o", row_orient, "*orient"},                                 // 131
    {"*a|*t", row_touch_settings, "*autoCal/*tspan/*tplo/..."},    // 132
    {"*v", row_vq, "*vq"},                                         // 133
    {"*m|*i|*p", row_brite_limits, "*maxBrite/*minBrite/..."},     // 134
    {"*t", row_touch_mode, "*touchMode"},                          // 135
    {"*g", row_screen_capture, "*getScreenAsBMPFile"},             // 136
    {"*c", row_comwdt, "*comwdt"},                                 // 137
    {"*f", row_firmware, "*firmware"},                             // 138
    {"*h|*v", row_panel_timing, "*hpw/*hfp/*hbp/*vpw/*vfp/*vbp"},  // 139
    {"*p", row_paneladj, "*paneladj"},                             // 140
    {"//", row_comment, "//"},                                     // 141
    {"*s", row_speedtest, "*speedtest"},                           // 142
    {"*L|*l", row_loadf, "*LOADF/*loadf"},                         // 143
    {"*L|*l", row_load, "*LOAD/*load"},                            // 144
    {"*s", row_sdled, "*sdled"},                                   // 145
    {"*s", row_sdload, "*sdload"},                                 // 146
    {"*c", row_cd, "*cd"},                                         // 147
    {"*l", row_ls, "*ls"},                                         // 148
    {"*f", row_flash2ram, "*flash2ram"},                           // 149
    {"*e", row_eel, "*eel"},                                       // 150
    {"i2", row_i2c, "i2c"},                                        // 151
    {"*c", row_ctype, "*ctype"},                                   // 152
    // Macro calls come last: "m" and a digit or white space, and the binary macro line, are
    // forms no earlier row takes.
    {"m|\x82M", row_macro_run, "m"},  // 153
};
constexpr size_t kChainLength = sizeof kChain / sizeof kChain[0];

namespace {

static_assert(kChainLength < 256, "the index stores row numbers in bytes");
static_assert(chain_index::all_leads_well_formed(kChain),
              "every lead item is one or two characters, separated by '|'");

constexpr chain_index::Sizes kSizes = chain_index::sizes(kChain);
static_assert(kSizes.rows < 65536 && kSizes.seconds < 65536, "the index stores 16-bit offsets");
constexpr auto kIndex = chain_index::build<kSizes.seconds, kSizes.rows>(kChain);

// A dispatch tries a handful of rows at most, wherever the command stands in the chain.
static_assert(kIndex.longest <= 8, "a lead list grew long: give its rows two-character leads");

}  // namespace

RowSpan candidate_rows(const char* line) {
    return kIndex.lookup(line);
}
