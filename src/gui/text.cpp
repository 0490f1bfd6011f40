// Text output: lines, alignment, wrapping and rotation on top of the glyph painter.
#include <climits>
#include <cstring>

#include "gui/glyph_painter.h"
#include "gui/gui.h"
#include "gui/raster.h"
#include "gui/utf8.h"

using gui::context;

namespace {

int saturate(int64_t v) {
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

const char* end_of(const char* s) {
    return s + std::strlen(s);
}

const char* line_end(const char* p, const char* end) {
    const void* nl = std::memchr(p, '\n', size_t(end - p));
    return nl ? static_cast<const char*>(nl) : end;
}

int advance_of(const GUI_FONT* font, uint32_t c) {
    GUI_CHARINFO g;
    return GUI_GetGlyph(font, c, &g) ? g.advance : 0;
}

// Width of [p, end), which holds no line feed.
int64_t run_width(const GUI_FONT* font, const char* p, const char* end) {
    int64_t w = 0;
    while (p < end) {
        uint32_t c;
        p += gui::decode_char(p, end, context.Encoding, &c);
        w += advance_of(font, c);
    }
    return w;
}

// Draws [p, end) (no line feed inside) with its cells' top-left corner starting at (u, v).
// Returns the width.
int64_t draw_run(gui::GlyphPainter& painter, const gui::Box& clip, const GUI_FONT* font,
                 const char* p, const char* end, int64_t u, int64_t v) {
    if (v > clip.y1 || v + font->yDist <= clip.y0) return run_width(font, p, end);
    if (painter.opaque()) painter.background(u, u + run_width(font, p, end) - 1, v);
    const int64_t start = u;
    while (p < end) {
        uint32_t c;
        p += gui::decode_char(p, end, context.Encoding, &c);
        GUI_CHARINFO g;
        if (!GUI_GetGlyph(font, c, &g)) continue;
        if (u <= clip.x1 && u + g.advance > clip.x0) painter.draw(g, u, v);
        u += g.advance;
    }
    return u - start;
}

int64_t horizontal_offset(int align, int64_t width) {
    switch (align & GUI_TA_HORIZONTAL) {
        case GUI_TA_RIGHT:
            return width;
        case GUI_TA_HCENTER:
            return width / 2;
        default:
            return 0;
    }
}

int64_t vertical_offset(int align, const GUI_FONT* font) {
    switch (align & GUI_TA_VERTICAL) {
        case GUI_TA_BOTTOM:
            return font->yDist - 1;
        case GUI_TA_BASELINE:
            return font->baseline;
        case GUI_TA_VCENTER:
            return font->yDist / 2;
        default:
            return 0;
    }
}

void disp(const char* s, const char* end) {
    const GUI_FONT* font = context.pFont;
    if (font == nullptr) return;
    const gui::TextSpace space = gui::screen_space();
    gui::GlyphPainter painter(font, space);
    const int align = context.TextAlign;
    int64_t x = context.DispPosX, y = context.DispPosY;
    const int64_t above = vertical_offset(align, font);
    for (const char* p = s;;) {
        const char* eol = line_end(p, end);
        const int64_t shift =
            (align & GUI_TA_HORIZONTAL) ? horizontal_offset(align, run_width(font, p, eol)) : 0;
        const int64_t width = draw_run(painter, space.clip, font, p, eol, x - shift, y - above);
        if (eol == end) {
            x += width - shift;
            break;
        }
        x = context.LBorder;
        y += font->yDist;
        p = eol + 1;
    }
    context.DispPosX = saturate(x);
    context.DispPosY = saturate(y);
}

// One line of a rectangle's text: [begin, end) is drawn, next is where the following line
// starts (null after the last line).
struct Line {
    const char* end;
    int64_t width;
    const char* next;
};

Line next_line(const GUI_FONT* font, const char* p, const char* end, int wrap, int64_t room) {
    const char* const begin = p;
    int64_t w = 0;
    // Word wrap: where the last run of blanks after some ink began, and the width before it.
    const char* blanks = nullptr;
    int64_t widthBefore = 0;
    bool ink = false, inBlanks = false;
    while (p < end) {
        if (*p == '\n') return Line{p, w, p + 1};
        uint32_t c;
        const int n = gui::decode_char(p, end, context.Encoding, &c);
        const int adv = advance_of(font, c);
        if (wrap == GUI_WRAPMODE_WORD && c == ' ') {
            if (ink && !inBlanks) {
                blanks = p;
                widthBefore = w;
            }
            inBlanks = true;
            // Blanks never break a line themselves: they vanish at the break.
            w += adv;
            p += n;
            continue;
        }
        if (wrap != GUI_WRAPMODE_NONE && w + adv > room && p > begin) {
            if (wrap == GUI_WRAPMODE_WORD && blanks != nullptr) {
                const char* next = blanks;
                while (next < end && *next == ' ') ++next;
                return Line{blanks, widthBefore, next};
            }
            return Line{p, w, p};
        }
        ink = true;
        inBlanks = false;
        w += adv;
        p += n;
    }
    return Line{end, w, nullptr};
}

// The text coordinates of a rectangle turned by rotation: size, and where its pixels lie.
bool rect_space(const GUI_RECT& r, int rotation, gui::TextSpace* space, int64_t* tw, int64_t* th) {
    if (r.x1 < r.x0 || r.y1 < r.y0) return false;
    const gui::Box& cb = gui::clipBox;
    const gui::Box c{r.x0 > cb.x0 ? r.x0 : cb.x0, r.y0 > cb.y0 ? r.y0 : cb.y0,
                     r.x1 < cb.x1 ? r.x1 : cb.x1, r.y1 < cb.y1 ? r.y1 : cb.y1};
    if (c.empty()) return false;
    const int64_t w = int64_t(r.x1) - r.x0 + 1, h = int64_t(r.y1) - r.y0 + 1;
    const int64_t W = gui::surface.stride;
    switch (rotation) {
        case GUI_ROTATE_CW:  // (u, v) -> (x1 - v, y0 + u)
            *space = {r.x1 + int64_t(r.y0) * W,
                      W,
                      -1,
                      {c.y0 - r.y0, r.x1 - c.x1, c.y1 - r.y0, r.x1 - c.x0}};
            *tw = h;
            *th = w;
            return true;
        case GUI_ROTATE_CCW:  // (u, v) -> (x0 + v, y1 - u)
            *space = {r.x0 + int64_t(r.y1) * W,
                      -W,
                      1,
                      {r.y1 - c.y1, c.x0 - r.x0, r.y1 - c.y0, c.x1 - r.x0}};
            *tw = h;
            *th = w;
            return true;
        case GUI_ROTATE_180:  // (u, v) -> (x1 - u, y1 - v)
            *space = {r.x1 + int64_t(r.y1) * W,
                      -1,
                      -W,
                      {r.x1 - c.x1, r.y1 - c.y1, r.x1 - c.x0, r.y1 - c.y0}};
            *tw = w;
            *th = h;
            return true;
        default:  // (u, v) -> (x0 + u, y0 + v)
            *space = {r.x0 + int64_t(r.y0) * W,
                      1,
                      W,
                      {c.x0 - r.x0, c.y0 - r.y0, c.x1 - r.x0, c.y1 - r.y0}};
            *tw = w;
            *th = h;
            return true;
    }
}

void disp_in_rect(const char* s, const char* end, const GUI_RECT* rect, int align, int wrap,
                  int rotation) {
    const GUI_FONT* font = context.pFont;
    if (s == nullptr || rect == nullptr || font == nullptr) return;
    gui::TextSpace space;
    int64_t tw, th;
    if (!rect_space(*rect, rotation, &space, &tw, &th)) return;
    int64_t v = 0;
    const int vertical = align & GUI_TA_VERTICAL;
    if (vertical == GUI_TA_BOTTOM || vertical == GUI_TA_VCENTER) {
        int64_t lines = 0;
        for (const char* p = s; p != nullptr; p = next_line(font, p, end, wrap, tw).next) ++lines;
        const int64_t spare = th - lines * font->yDist;
        v = vertical == GUI_TA_BOTTOM ? spare : gui::floor_div(spare, 2);
    }
    gui::GlyphPainter painter(font, space);
    for (const char* p = s; p != nullptr && v <= space.clip.y1; v += font->yDist) {
        const Line line = next_line(font, p, end, wrap, tw);
        int64_t u = 0;
        switch (align & GUI_TA_HORIZONTAL) {
            case GUI_TA_RIGHT:
                u = tw - line.width;
                break;
            case GUI_TA_HCENTER:
                u = gui::floor_div(tw - line.width, 2);
                break;
        }
        draw_run(painter, space.clip, font, p, line.end, u, v);
        p = line.next;
    }
}

}  // namespace

void GUI_DispString(const char* s) {
    if (s != nullptr) disp(s, end_of(s));
}

void GUI_DispStringAt(const char* s, int x, int y) {
    GUI_GotoXY(x, y);
    GUI_DispString(s);
}

void GUI_DispNextLine() {
    context.DispPosX = context.LBorder;
    context.DispPosY = saturate(int64_t(context.DispPosY) + GUI_GetFontDistY());
}

void GUI_DispStringInRect(const char* s, const GUI_RECT* rect, int align) {
    if (s != nullptr) disp_in_rect(s, end_of(s), rect, align, GUI_WRAPMODE_NONE, GUI_ROTATE_0);
}

void GUI_DispStringInRectWrap(const char* s, const GUI_RECT* rect, int align, int wrapMode) {
    if (wrapMode != GUI_WRAPMODE_WORD && wrapMode != GUI_WRAPMODE_CHAR) {
        wrapMode = GUI_WRAPMODE_NONE;
    }
    if (s != nullptr) disp_in_rect(s, end_of(s), rect, align, wrapMode, GUI_ROTATE_0);
}

void GUI_DispStringInRectEx(const char* s, const GUI_RECT* rect, int align, int maxLen,
                            int rotation) {
    if (s == nullptr) return;
    const char* end = end_of(s);
    if (maxLen >= 0) {
        const char* p = s;
        for (int n = 0; n < maxLen && p < end; ++n) {
            uint32_t c;
            p += gui::decode_char(p, end, context.Encoding, &c);
        }
        end = p;
    }
    disp_in_rect(s, end, rect, align, GUI_WRAPMODE_NONE, rotation);
}

int GUI_GetStringDistX(const char* s) {
    const GUI_FONT* font = context.pFont;
    if (s == nullptr || font == nullptr) return 0;
    const char* end = end_of(s);
    int64_t widest = 0;
    for (const char* p = s;;) {
        const char* eol = line_end(p, end);
        const int64_t w = run_width(font, p, eol);
        if (w > widest) widest = w;
        if (eol == end) break;
        p = eol + 1;
    }
    return saturate(widest);
}

int GUI_GetCharDistX(uint32_t c) {
    return context.pFont ? advance_of(context.pFont, c) : 0;
}

int GUI_GetFontDistY() {
    return context.pFont ? context.pFont->yDist : 0;
}

uint32_t GUI_UC_GetCharCode(const char* s) {
    if (s == nullptr || *s == 0) return 0;
    uint32_t c;
    gui::decode_char(s, end_of(s), context.Encoding, &c);
    return c;
}

int GUI_UC_GetCharSize(const char* s) {
    if (s == nullptr || *s == 0) return 0;
    uint32_t c;
    return gui::decode_char(s, end_of(s), context.Encoding, &c);
}
