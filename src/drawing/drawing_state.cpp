#include "drawing/drawing_state.h"

#include <cstring>

#include "base/scan.h"
#include "base/text_helpers.h"

const GUI_COLOR color_map[kColorMapSize] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF,
    0x2A2AA5, 0x404040, 0x808080, 0xD3D3D3, 0xFF8080, 0x80FF80, 0xFFFF80,
    0x8080FF, 0xFF80FF, 0x00FFFF, 0x0000FF, 0x00FF00, 0xFF0000,
};

int Origin_X;
int Origin_Y;
const char* curTextMode = "N";
GdiRecord GDIState[kGdiStateSlots];
GdiRecord AniGDI;
int16_t v[kPolyValues];
int polyCount;
int polyFill;
uint8_t angleSense = 1;

namespace {

constexpr const char* kNormalTextModeName = "N";

int textBorder;

int saturate(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return int(value);
}

}  // namespace

void KV_DrawingState_Init() {
    Origin_X = Origin_Y = 0;
    textBorder = 0;
    curTextMode = kNormalTextModeName;
    polyCount = polyFill = 0;
    angleSense = 1;
    std::memset(v, 0, sizeof v);
}

int atoRGB(const char* text) {
    if (!text) return -1;
    while (*text == ' ' || *text == '\t') ++text;
    const size_t len = std::strlen(text);
    if (len == 3) {
        int value = 0;
        for (int i = 0; i < 3; ++i) {
            const int d = atoh(text[i]);
            value = (value << 8) | (d << 4) | d;
        }
        return value;
    }
    if (len == 6) {
        unsigned value = 0;
        if (kv_sscanf(text, "%x", &value) != 1) value = 0;
        return int(value & 0xFFFFFF);
    }
    return -1;
}

GUI_COLOR swapRB(uint32_t value) {
    return ((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF);
}

GUI_COLOR atoBGR(const char* text) {
    return swapRB(uint32_t(atoRGB(text)));
}

int atOriginX(int x) {
    return saturate(int64_t(x) + Origin_X);
}
int atOriginY(int y) {
    return saturate(int64_t(y) + Origin_Y);
}

void SaveState(GdiRecord* r) {
    if (!r) return;
    r->bkColor = GUI_GetBkColor();
    r->color = GUI_GetColor();
    r->penSize = uint8_t(GUI_GetPenSize());
    r->lineStyle = uint8_t(GUI_GetLineStyle());
    r->drawMode = uint8_t(GUI_GetDrawMode());
    r->textAlign = uint32_t(GUI_GetTextAlign());
    r->originX = Origin_X;
    r->originY = Origin_Y;
    r->cursorX = GUI_GetDispPosX();
    r->cursorY = GUI_GetDispPosY();
    r->font = KV_GetFontPtr();
    r->textMode = uint32_t(GUI_GetTextMode());
    r->textModeName = curTextMode;
}

void RestoreState(const GdiRecord* r) {
    if (!r) return;
    GUI_SetBkColor(r->bkColor);
    GUI_SetColor(r->color);
    GUI_SetPenSize(r->penSize);
    GUI_SetLineStyle(r->lineStyle);
    GUI_SetDrawMode(r->drawMode);
    GUI_SetTextAlign(int(r->textAlign));
    Origin_X = r->originX;
    Origin_Y = r->originY;
    GUI_GotoXY(r->cursorX, r->cursorY);
    if (r->font) KV_SelectFont(r->font);
    GUI_SetTextMode(int(r->textMode));
    // A slot that was never saved has no name; "*STATE" must still print one.
    curTextMode = r->textModeName ? r->textModeName : kNormalTextModeName;
}

void GUIDEMO_SetTextBorder(int x) {
    textBorder = x;
    GUI_SetLBorder(x);
}
int GUIDEMO_GetTextBorder() {
    return textBorder;
}

void setOrigin(int x, int y) {
    Origin_X = x;
    Origin_Y = y;
    GUI_GotoXY(x, y);
    GUIDEMO_SetTextBorder(x);
}

void setCursor(int x, int y) {
    const int ax = atOriginX(x);
    GUI_GotoXY(ax, atOriginY(y));
    GUIDEMO_SetTextBorder(ax);
}

namespace {

// Dots at every second pixel along the edges. Each dot is drawn once even where edges meet or
// coincide, so that XOR mode can take the outline off again.
void dotted_rect(int x0, int y0, int x1, int y1) {
    const GUI_RECT clip = GUI_GetClipRect();
    const int64_t cx0 = clip.x0 > 0 ? clip.x0 : 0, cy0 = clip.y0 > 0 ? clip.y0 : 0;
    const int64_t cx1 = clip.x1 < LCD_GetXSize() - 1 ? clip.x1 : LCD_GetXSize() - 1;
    const int64_t cy1 = clip.y1 < LCD_GetYSize() - 1 ? clip.y1 : LCD_GetYSize() - 1;
    // Positions start, start + 2, ... below end, limited to [lo, hi] without changing parity.
    const auto dots = [](int64_t start, int64_t end, int64_t lo, int64_t hi, auto plot) {
        int64_t from = start;
        if (from < lo) from += (lo - from + 1) / 2 * 2;
        int64_t to = end - 1 < hi ? end - 1 : hi;
        for (int64_t p = from; p <= to; p += 2) plot(int(p));
    };
    const bool top_has_corner = x0 < x1;
    dots(x0, x1, cx0, cx1, [&](int x) { GUI_DrawPixel(x, y0); });
    if (y1 != y0) dots(x0, x1, cx0, cx1, [&](int x) { GUI_DrawPixel(x, y1); });
    dots(top_has_corner ? int64_t(y0) + 2 : y0, y1, cy0, cy1, [&](int y) { GUI_DrawPixel(x0, y); });
    if (x1 != x0) dots(y0, y1, cy0, cy1, [&](int y) { GUI_DrawPixel(x1, y); });
}

}  // namespace

int GUIDEMO_DrawRect(int type, int x0, int y0, int x1, int y1) {
    switch (type) {
        case 0:
            GUI_DrawRect(x0, y0, x1, y1);
            return 1;
        case 1:
            GUI_FillRect(x0, y0, x1, y1);
            return 1;
        case 2:
            dotted_rect(x0, y0, x1, y1);
            return 1;
        case 3: {
            const int pen = GUI_SetPenSize(1);
            GUI_DrawRect(x0, y0, x1, y1);
            GUI_SetPenSize(pen);
            return 1;
        }
        default:
            return 0;
    }
}
