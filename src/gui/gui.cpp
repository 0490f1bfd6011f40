#include "gui/gui.h"

#include "device/board.h"
#include "device/panel_config.h"
#include "device/panel_timing.h"
#include "gui/builtin_fonts.h"

namespace {

struct Context {
    GUI_COLOR color;
    GUI_COLOR bkColor;
    int dispPosX;
    int dispPosY;
    const GUI_FONT* font;
};

Context context;

}  // namespace

int GUI_Init() {
    context = Context{0xFFFFFF, 0x000000, 0, 0, &GUI_FontArial10};
    InitLCD(panel::kWidth);
    return 0;
}

int LCD_GetXSize() { return panel::kWidth; }
int LCD_GetYSize() { return panel::kHeight; }

uint16_t LCD_Color2Index_M565(GUI_COLOR c) {
    const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

GUI_COLOR LCD_Index2Color_M565(uint16_t index) {
    const uint32_t r = ((index >> 11) & 0x1F) * 255 / 31;
    const uint32_t g = ((index >> 5) & 0x3F) * 255 / 63;
    const uint32_t b = (index & 0x1F) * 255 / 31;
    return r | (g << 8) | (b << 16);
}

GUI_COLOR GUI_SetColor(GUI_COLOR color) {
    const GUI_COLOR old = context.color;
    context.color = color;
    return old;
}
GUI_COLOR GUI_GetColor() { return context.color; }

GUI_COLOR GUI_SetBkColor(GUI_COLOR color) {
    const GUI_COLOR old = context.bkColor;
    context.bkColor = color;
    return old;
}
GUI_COLOR GUI_GetBkColor() { return context.bkColor; }

const GUI_FONT* GUI_SetFont(const GUI_FONT* font) {
    const GUI_FONT* old = context.font;
    if (font != nullptr) context.font = font;
    return old;
}
const GUI_FONT* GUI_GetFont() { return context.font; }

void GUI_Clear() {
    uint16_t* fb = lcd_framebuffer();
    const uint16_t pixel = LCD_Color2Index_M565(context.bkColor);
    for (uint32_t i = 0; i < panel::kPixels; ++i) fb[i] = pixel;
    board_checkpoint(Work::kPixels, panel::kPixels);
    context.dispPosX = context.dispPosY = 0;
}
