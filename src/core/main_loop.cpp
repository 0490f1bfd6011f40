#include "core/main_loop.h"

#include <cstring>

#include "base/format.h"
#include "base/hex.h"
#include "base/interpreter.h"
#include "base/text_helpers.h"
#include "controls/animation.h"
#include "controls/buttons.h"
#include "controls/charts.h"
#include "controls/level_bars.h"
#include "controls/meters.h"
#include "controls/sliders.h"
#include "controls/text_boxes.h"
#include "core/extmem_load.h"
#include "core/watchdog.h"
#include "device/backlight.h"
#include "device/beeper.h"
#include "device/board.h"
#include "device/crc.h"
#include "device/display.h"
#include "device/panel_config.h"
#include "device/panel_timing.h"
#include "device/timebase.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "fs/sdcard.h"
#include "gui/gui.h"
#include "macro/macro.h"
#include "macro/variables.h"
#include "media/bitmaps.h"
#include "media/ext_image.h"
#include "media/fonts.h"
#include "settings/settings.h"
#include "touch/calibration.h"
#include "touch/hotspots.h"
#include "touch/touch.h"

char myBuf[kLineBufSize];
char expBuf[kLineBufSize];
char locBuf[kLineBufSize];
uint8_t splashShown;
uint8_t macroNotify;
uint8_t binaryResponses;
uint32_t userLedState;

namespace {

constexpr GUI_COLOR kStartForeground = 0x000000;
constexpr GUI_COLOR kStartBackground = 0xFFFFFF;
constexpr const char* kCommandFont = "16";
constexpr const char* kBannerFont = "12";
constexpr int kBannerTop = 10;  // below the origin
constexpr int kBannerLines = 6;
constexpr uint32_t kSignalsSettleMs = 200;
constexpr uint32_t kEmptyLineDelayMs = 10;
constexpr char kCR = '\r';
constexpr uint8_t kBinaryMacroLead = 0x82;
constexpr uint8_t kLastPonMacro = 254;
// Touch at power-up: the window in which the pen-down line is looked at, the announcing beeps
// and how long the notice stays before calibration starts.
constexpr uint32_t kPowerUpTouchWindowMs = 50;
constexpr int kPowerUpBeepMs = 50;
constexpr uint32_t kPowerUpBeepGapMs = 100;
constexpr uint32_t kPowerUpCalNoticeMs = 2000;

void user_led(int on) {
    if (!userLedState) Led(on);
}

// The start or end of a queued macro, announced to the host: "m%d\r" / "e%d\r", or in binary
// form the letter in upper case and the macro number.
void notify_macro(char letter, char binary_letter, int n) {
    if (binaryResponses) {
        const uint8_t bytes[2] = {uint8_t(binary_letter), uint8_t(n)};
        txBinary(bytes, 2);
        return;
    }
    char note[16];
    kv_snprintf(note, sizeof note, "%c%d\r", letter, n);
    txNotify(note);
}

// The reply that ends a host line, by the prompt rules of the two link modes.
void send_reply(const char* reply) {
    if (!reply) return;
    if (!rs485Active()) {
        txString(reply);
        return;
    }
    if (anythingToTx()) txSavedBuf();
    const bool prompt = std::strcmp(reply, ">\r") == 0;
    if (!prompt || stringSent == 0) txString(reply);
}

// A finger on the screen at power-up with autoCal armed starts the touch calibration: the way
// back for a module whose calibration is too far off to reach any control.
void calibrate_if_touched() {
    if (eepromData.autoCal != kFlagOn) return;
    bool down = false;
    for (uint32_t ms = 0; ms < kPowerUpTouchWindowMs && !down; ++ms) {
        down = GetPenState() != 0;
        if (!down) KV_Delay(1);
    }
    if (!down) return;
    BeepImmediate(kPowerUpBeepMs);
    KV_Delay(kPowerUpBeepGapMs);
    BeepImmediate(kPowerUpBeepMs);
    GUI_Clear();
    GUI_DispStringAt("Touch on power-up detected...starting touch calibrate", Origin_X + 10,
                     Origin_Y + 100);
    GUI_DispStringAt("Release touch to begin calibration", Origin_X + 10, Origin_Y + 150);
    KV_Delay(kPowerUpCalNoticeMs);
    doCalibration();
    GUIDEMO_Clear(0);
}

// The splash bitmap of the settings, at the origin; false when the file has no such bitmap.
bool draw_splash(int index) {
    BitmapHandle b;
    if (!KV_GetExtBitmap(index, &b)) return false;
    KV_DrawBitmap(&b, Origin_X, Origin_Y);
    return true;
}

// The text banner in its own font; the command font stays selected for the host's text.
void draw_banner() {
    const FontEntry* entry = KV_FindFont(kBannerFont);
    if (entry == nullptr) return;
    const GUI_FONT* commandFont = GUI_SetFont(entry->font);
    const int align = GUI_SetTextAlign(GUI_TA_LEFT | GUI_TA_TOP);
    GUIDEMO_SetTextBorder(Origin_X);
    GUI_GotoXY(Origin_X, Origin_Y + kBannerTop);
    char text[kLineBufSize];
    for (int line = 1; line <= kBannerLines; ++line) {
        if (!KV_BannerLine(line, text)) continue;
        GUI_DispString(text);
        GUI_DispNextLine();
    }
    GUI_SetTextAlign(align);
    GUI_SetFont(commandFont);
}

const char* reply_for(int result) {
    switch (result) {
        case kCmdFailed:
            return "!\r";
        case kCmdHash:
            return "#\r";
        case kCmdNoPrompt:
            return nullptr;
        default:
            return ">\r";
    }
}

// Steps 7.2 to 7.10 of a pass: one line from the host. Returns the reply to send (or null).
const char* process_line() {
    if (checkAbortCmd()) {
        rxReset();
        fakeNullCommand();
    }
    rxString(myBuf, kLineBufSize);
    stringSent = 0;

    char* cmd = myBuf;
    if (cmd[0] == '~') {
        const size_t len = std::strlen(cmd);
        uint16_t expected;
        if (len <= 5 || !hex4(cmd + 1, &expected)) return "#\r";
        const uint16_t crc = CalcCRC(reinterpret_cast<const uint8_t*>(cmd + 5), len - 5);
        if (crc != expected) return "#\r";
        cmd += 5;
    }
    if (cmd[0] == kCR) {
        KV_Delay(kEmptyLineDelayMs);
        return ">\r";
    }
    user_led(1);
    if (rs485Active()) {
        const uint8_t c0 = uint8_t(cmd[0]);
        const bool text_macro =
            cmd[0] == 'm' && ((cmd[1] >= '0' && cmd[1] <= '9') || cmd[1] == ' ' || cmd[1] == '\t');
        const bool binary_macro = c0 == kBinaryMacroLead && cmd[1] == 'M' && cmd[2] != 0;
        if (text_macro || binary_macro) {
            txString(">\r");
            stringSent = 1;
        }
    }
    if (uint8_t(cmd[0]) >= 0x80) {
        // A binary line is bytes, not text: its macro number may be a blank, a slash or a
        // backquote, which the text filters would eat.
        const int result = parse_command(cmd);
        board_checkpoint(Work::kCommandLine);
        user_led(0);
        return reply_for(result);
    }
    {
        const size_t len = std::strlen(cmd);
        if (len && cmd[len - 1] == kCR) cmd[len - 1] = 0;
    }
    cmd = skipLeadingWhitespace(cmd);
    if (!cmd || !*cmd || !killTrailingComment(cmd)) {
        user_led(0);
        return ">\r";
    }
    char* line = cmd;
    if (!prefix(cmd, "tu") && !prefix(cmd, "ts") && !prefix(cmd, "outs") && !prefix(cmd, "aouts")) {
        expandVariables(expBuf, kLineBufSize, cmd, nullptr);
        processMath(locBuf, kLineBufSize, expBuf);
        line = locBuf;
    }
    const int result = parse_command(line);
    board_checkpoint(Work::kCommandLine);
    user_led(0);
    return reply_for(result);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void InitEverything() {
    // The 1 ms tick runs these from its first interrupt on.
    KV_TimerSetTick(TickSlot::kButtons, ButtonTimer);
    KV_TimerSetTick(TickSlot::kTouch, KV_Update_Touch);
    KV_TimerSetTick(TickSlot::kSdCard, SDhotplugUpdate);
    LCD_sigs_low();
    setOrient(0);
    LCD_sigs_buf_ena(1);
    KV_Touch_Init();
    InitI2C();
    KV_TimerInit();
    SDCardSlotInit();
    initialize_media();
}

void power_on_init() {
    KV_EEPROM_LoadAndFix();
    KV_COM_Init0();
    KV_COM_Init1();
    if (KV_EEPROM_Init()) {
        if (eepromData.mainPort == 1)
            makeUart1Main();
        else
            makeUart0Main();
    }
    Init_485mode();
    if (eepromData.mainPort == 1) makeUart1Main();
    userLedState = 0;
    Led(0);
    KV_BeepInit();
    KV_Touch_Init();
    KV_Buttons_Init();
    KV_Chart_Init();
    KV_LevelBar_Init();
    KV_Slider_Init();
    KV_Meter_Init();
    STB_InitScrollTB_Resources();
    KV_Macro_Init();
    KV_Macros_Init();
    KV_DrawingState_Init();
    KV_Text_Init();
    KV_GUI_Init();
    KV_Fonts_Init();
    KV_Panel_Power(1);
    KV_Delay(panel::kBuild.power_on_wait_ms);
    LCD_sigs_active();
    KV_Delay(kSignalsSettleMs);
    KV_Load_ExtMem();
}

void KV_main() {
    power_on_init();
    GUIDEMO_main();
}

void KV_GUI_Init() {
    InitLCD(panel::kWidth);
    const GUI_DISPLAY display{lcd_framebuffer(), panel::kWidth, panel::kHeight, panel::kWidth};
    GUI_Init(&display);
}

void GUIDEMO_Clear(int how) {
    KV_Touch_HotSpot_Clear();
    KV_Chart_Init();
    KV_LevelBar_Init();
    KV_Meter_Init();
    STB_InitScrollTB_Resources();
    Origin_X = Origin_Y = 0;
    if (how == 0) {
        GUI_Clear();
    } else if (how != -1) {
        // Any other value names a stored bitmap, painted when the file has it.
        BitmapHandle b;
        if (KV_GetExtBitmap(how, &b)) KV_DrawBitmap(&b, 0, 0);
    }
    GUI_GotoXY(0, 0);
    GUIDEMO_SetTextBorder(0);
}

void main_loop_setup() {
    GUI_SetColor(kStartForeground);
    GUI_SetBkColor(kStartBackground);
    GUIDEMO_Clear(splashShown ? -1 : 0);
    GUIDEMO_SetFont(kCommandFont);
    setTextMode("N");
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    KV_Visibility_Init();
    calibrate_if_touched();
    if (ExecState != kExecAnimation) init_animation();
    const int escape = checkEscape();
    // The demo macro named by rundemo.ini takes precedence, even over an escape, and
    // suppresses the banner.
    const int demo = KV_Check_Demo();
    const bool demoRan = demo > 0;
    if (demoRan) {
        processMacro(demo, "", nullptr);
    } else if (!escape && eepromData.ponMacro >= 1 && eepromData.ponMacro <= kLastPonMacro) {
        processMacro(eepromData.ponMacro, "", nullptr);
    }
    if (!escape && eepromData.splashEnable == kFlagOn && !splashShown) {
        if (draw_splash(eepromData.splashIndex)) {
            splashShown = 1;
        } else {
            GUI_DispStringAt("(invalid splash bitmap)", Origin_X, Origin_Y + kBannerTop);
        }
    } else if (!demoRan && eepromData.bannerOff != kFlagOn) {
        draw_banner();
    }
    if (!rs485Active()) txString(">\r");
    if (eepromData.demoMacro == 0xFF) eepromData.demoMacro = 1;
    SaveState(&GDIState[macroDepth]);
}

void main_loop_pass() {
    SDcheckHotplug();
    handle_touch();
    bool worked = handle_animation();
    if (eepromData.auxForward == kPortFlagOn && anyAuxRx()) {
        getAuxRx(myBuf, kAuxRingSize);
        txNotify("a ");
        txNotify(myBuf);
        txNotify("\r");
    }
    if (const int n = pendingMacro()) {
        worked = true;
        user_led(1);
        if (macroNotify == kMacroNotifyStart || macroNotify == kMacroNotifyBoth) {
            notify_macro('m', 'M', n);
        }
        processScheduledMacro();
        if (macroNotify == kMacroNotifyEnd || macroNotify == kMacroNotifyBoth) {
            notify_macro('e', 'E', n);
        }
        user_led(0);
    }
    const int r = isLineAvail();
    processCommWatchDog(r != kNoLine);
    switch (r) {
        case kNoLine:
            if (!worked) board_idle();
            break;
        case kRxOverflow:
            send_reply("^\r");
            break;
        case kBinaryDropped:
            send_reply("!\r");
            break;
        default:
            send_reply(process_line());
            break;
    }
}

void GUIDEMO_main() {
    main_loop_setup();
    for (;;) main_loop_pass();
}

// ---------------------------------------------------------------------------------------------
// Log hooks

namespace {

void log_line(const char* tag, const char* s) {
    txString(tag);
    if (s) txString(s[0] == '\n' ? s + 1 : s);
    txString("\r");
}

}  // namespace

void GUI_X_Init() {}
void GUI_X_Warn(const char* s) {
    log_line(":GUI_WARN:", s);
}
void GUI_X_ErrorOut(const char* s) {
    log_line(":GUI_ERR:", s);
}
void GUI_X_Log(const char* s) {
    log_line(":GUI:", s);
}
