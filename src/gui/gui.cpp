// The drawing context, colour conversion, clearing and rectangles.
#include "gui/gui.h"

#include "gui/builtin_fonts.h"
#include "gui/raster.h"
#include "gui/rgb565.h"

namespace gui {

GUI_CONTEXT context;
Box clipBox;

namespace {

GUI_RECT screen_rect() {
    return GUI_RECT{0, 0, int16_t(surface.width - 1), int16_t(surface.height - 1)};
}

void update_clip_box() {
    const GUI_RECT& r = context.ClipRect;
    clipBox.x0 = r.x0 < 0 ? 0 : r.x0;
    clipBox.y0 = r.y0 < 0 ? 0 : r.y0;
    clipBox.x1 = r.x1 > surface.width - 1 ? surface.width - 1 : r.x1;
    clipBox.y1 = r.y1 > surface.height - 1 ? surface.height - 1 : r.y1;
}

}  // namespace

}  // namespace gui

using gui::clipBox;
using gui::context;

int GUI_Init(const GUI_DISPLAY* display) {
    if (!display || !display->frameBuffer || display->width < 1 || display->height < 1 ||
        display->width > kGuiMaxWidth || display->height > kGuiMaxHeight ||
        display->stride < display->width) {
        return 1;
    }
    gui::surface =
        gui::Surface{display->frameBuffer, display->width, display->height, display->stride};
    context = GUI_CONTEXT{};
    context.ClipRect = gui::screen_rect();
    context.Color = 0xFFFFFF;
    context.ColorIndex = LCD_Color2Index_M565(context.Color);
    context.BkColor = 0x000000;
    context.BkColorIndex = 0;
    context.PenSize = 1;
    context.LineStyle = GUI_LS_SOLID;
    context.DrawMode = GUI_DRAWMODE_NORMAL;
    context.TextMode = GUI_TM_NORMAL;
    context.TextAlign = GUI_TA_LEFT | GUI_TA_TOP;
    context.Encoding = GUI_ENCODE_NONE;
    context.DecChar = '.';
    context.pFont = &GUI_FontArial10;
    gui::update_clip_box();
    GUI_SetOrg(0, 0);
    return 0;
}

int LCD_GetXSize() {
    return gui::surface.width;
}
int LCD_GetYSize() {
    return gui::surface.height;
}

void GUI_SaveContext_M(GUI_CONTEXT* copy) {
    if (copy) *copy = context;
}

void GUI_RestoreContext(const GUI_CONTEXT* copy) {
    if (!copy) return;
    context = *copy;
    gui::update_clip_box();
}

uint16_t LCD_Color2Index_M565(GUI_COLOR c) {
    return rgb565::pack(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

GUI_COLOR LCD_Index2Color_M565(uint16_t index) {
    const uint32_t r = rgb565::expand5(rgb565::red5(index));
    const uint32_t g = rgb565::expand6(rgb565::green6(index));
    const uint32_t b = rgb565::expand5(rgb565::blue5(index));
    return r | (g << 8) | (b << 16);
}

uint16_t LCD_L0_Color2Index(GUI_COLOR color) {
    return LCD_Color2Index_M565(color);
}
GUI_COLOR LCD_Index2Color(uint16_t index) {
    return LCD_Index2Color_M565(index);
}

GUI_COLOR GUI_SetColor(GUI_COLOR color) {
    const GUI_COLOR old = context.Color;
    context.Color = color;
    context.ColorIndex = LCD_Color2Index_M565(color);
    return old;
}
GUI_COLOR GUI_GetColor() {
    return context.Color;
}

GUI_COLOR GUI_SetBkColor(GUI_COLOR color) {
    const GUI_COLOR old = context.BkColor;
    context.BkColor = color;
    context.BkColorIndex = LCD_Color2Index_M565(color);
    return old;
}
GUI_COLOR GUI_GetBkColor() {
    return context.BkColor;
}
uint16_t GUI_GetColorIndex() {
    return context.ColorIndex;
}
uint16_t GUI_GetBkColorIndex() {
    return context.BkColorIndex;
}

int GUI_SetPenSize(int width) {
    const int old = context.PenSize;
    context.PenSize = uint8_t(width);
    return old;
}
int GUI_GetPenSize() {
    return context.PenSize;
}

int GUI_SetLineStyle(int style) {
    const int old = context.LineStyle;
    context.LineStyle = uint8_t(style);
    return old;
}
int GUI_GetLineStyle() {
    return context.LineStyle;
}

int GUI_SetDrawMode(int mode) {
    const int old = context.DrawMode;
    context.DrawMode = uint8_t(mode);
    return old;
}
int GUI_GetDrawMode() {
    return context.DrawMode;
}

int GUI_SetTextMode(int mode) {
    const int old = context.TextMode;
    context.TextMode = uint8_t(mode);
    return old;
}
int GUI_GetTextMode() {
    return context.TextMode;
}

int GUI_SetTextAlign(int align) {
    const int old = context.TextAlign;
    context.TextAlign = uint16_t(align);
    return old;
}
int GUI_GetTextAlign() {
    return context.TextAlign;
}

const GUI_FONT* GUI_SetFont(const GUI_FONT* font) {
    const GUI_FONT* old = context.pFont;
    if (font) context.pFont = font;
    return old;
}
const GUI_FONT* GUI_GetFont() {
    return context.pFont;
}

int GUI_SetLBorder(int x) {
    const int old = context.LBorder;
    context.LBorder = x;
    return old;
}
int GUI_GetLBorder() {
    return context.LBorder;
}

char GUI_SetDecChar(char c) {
    const char old = context.DecChar;
    context.DecChar = c;
    return old;
}
char GUI_GetDecChar() {
    return context.DecChar;
}

void GUI_GotoXY(int x, int y) {
    context.DispPosX = x;
    context.DispPosY = y;
}
void GUI_GotoX(int x) {
    context.DispPosX = x;
}
void GUI_GotoY(int y) {
    context.DispPosY = y;
}
int GUI_GetDispPosX() {
    return context.DispPosX;
}
int GUI_GetDispPosY() {
    return context.DispPosY;
}

void GUI_UC_SetEncodeUTF8() {
    context.Encoding = GUI_ENCODE_UTF8;
}
void GUI_UC_SetEncodeNone() {
    context.Encoding = GUI_ENCODE_NONE;
}
int GUI_UC_GetEncoding() {
    return context.Encoding;
}

void GUI_SetOrg(int x, int y) {
    context.OrgX = x;
    context.OrgY = y;
}
int GUI_GetOrgX() {
    return context.OrgX;
}
int GUI_GetOrgY() {
    return context.OrgY;
}

GUI_RECT GUI_SetClipRect(const GUI_RECT* rect) {
    const GUI_RECT old = context.ClipRect;
    context.ClipRect = rect ? *rect : gui::screen_rect();
    gui::update_clip_box();
    return old;
}
GUI_RECT GUI_GetClipRect() {
    return context.ClipRect;
}

// ---------------------------------------------------------------------------------------------

namespace {

void fill_box(gui::Painter& painter, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    const gui::Box& c = painter.clip();
    if (x0 < c.x0) x0 = c.x0;
    if (y0 < c.y0) y0 = c.y0;
    if (x1 > c.x1) x1 = c.x1;
    if (y1 > c.y1) y1 = c.y1;
    if (x0 > x1 || y0 > y1) return;
    const int n = int(x1 - x0 + 1);
    const int stride = painter.stride();
    uint16_t* row = painter.framebuffer() + y0 * stride + x0;
    switch (painter.mode()) {
        case gui::Painter::Mode::kPaint: {
            const gui::PixelFill fill(painter.value());
            for (int64_t y = y0; y <= y1; ++y, row += stride) fill(row, n);
            break;
        }
        case gui::Painter::Mode::kInvert:
            for (int64_t y = y0; y <= y1; ++y, row += stride) gui::invert16(row, n);
            break;
        case gui::Painter::Mode::kMask:
            for (int64_t y = y0; y <= y1; ++y) painter.span_clipped(int(y), int(x0), int(x1));
            return;
    }
    painter.count(uint32_t(n) * uint32_t(y1 - y0 + 1));
}

}  // namespace

void GUI_Clear() {
    const gui::Box& c = clipBox;
    const gui::Surface& s = gui::surface;
    if (!c.empty() && c.x0 == 0 && c.x1 == s.width - 1 && s.stride == s.width) {
        // The whole width of a screen without gaps between rows: one contiguous block.
        gui::Painter painter(context.BkColorIndex, c);
        const int rows = c.y1 - c.y0 + 1;
        gui::fill16(painter.framebuffer() + c.y0 * s.width, rows * s.width, context.BkColorIndex);
        painter.count(uint32_t(rows) * uint32_t(s.width));
    } else {
        GUI_ClearRect(c.x0, c.y0, c.x1, c.y1);
    }
    GUI_GotoXY(0, 0);
}

void GUI_ClearRect(int x0, int y0, int x1, int y1) {
    gui::Painter painter(context.BkColorIndex, clipBox);
    fill_box(painter, x0, y0, x1, y1);
}

void GUI_FillRect(int x0, int y0, int x1, int y1) {
    gui::Painter painter(false);
    fill_box(painter, x0, y0, x1, y1);
}

void GUI_DrawPixel(int x, int y) {
    gui::Painter painter(false);
    const gui::Box& c = painter.clip();
    if (x < c.x0 || x > c.x1 || y < c.y0 || y > c.y1) return;
    painter.pixel_clipped(x, y);
    painter.count(1);
}
