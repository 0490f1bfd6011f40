#include "command/drawing_rows.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "drawing/drawing_state.h"
#include "gui/gui.h"
#include "macro/macro.h"
#include "media/button_faces.h"

namespace {

constexpr double kDegreesToRadians = 0.01745277777777778;
constexpr int kMaxPen = 255;  // the library keeps the pen in 8 bits
constexpr int kMaxEllipseRadius = 180;

int16_t as16(int64_t value) {
    return int16_t(uint16_t(uint64_t(value)));
}

// ---------------------------------------------------------------------------------------------
// Polygons

enum class PolyKind { kOutline, kFilled, kOpen };

// The scan templates: keyword, optional angle, then the reference point and ten points.
#define VOXA_HD22 "%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd%hd"
#define VOXA_V22                                                                                  \
    &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11], &v[12], \
        &v[13], &v[14], &v[15], &v[16], &v[17], &v[18], &v[19], &v[20], &v[21]

void draw_polygon(PolyKind kind, int count, bool rotated, int angle) {
    GUI_POINT points[kPolyMaxPoints];
    if (count > kPolyMaxPoints) count = kPolyMaxPoints;
    for (int i = 0; i < count; ++i) points[i] = GUI_POINT{v[2 + 2 * i], v[3 + 2 * i]};
    if (rotated) {
        const double degrees = angleSense ? 360.0 - angle : double(angle);
        GUI_RotatePolygon(points, points, count, float(degrees * kDegreesToRadians));
    }
    const int x = atOriginX(v[0]), y = atOriginY(v[1]);
    switch (kind) {
        case PolyKind::kOutline:
            GUI_DrawPolygon(points, count, x, y);
            break;
        case PolyKind::kFilled:
            GUI_FillPolygon(points, count, x, y);
            break;
        case PolyKind::kOpen:
            GUI_DrawPolyLine(points, count, x, y);
            break;
    }
}

// values: converted numbers without the angle.
int polygon_command(PolyKind kind, int values, bool rotated, int angle, int fill) {
    if (values < 6 || values % 2 != 0) return kCmdFailed;
    polyCount = values / 2 - 1;
    if (fill >= 0) polyFill = fill;
    draw_polygon(kind, polyCount, rotated, angle);
    return kCmdDone;
}

int polygon_row(char* line, const char* plain, const char* rotated, PolyKind kind, int plain_fill,
                int rotated_fill) {
    // The rotated keyword is one longer and is tested first.
    if (prefix(line, rotated)) {
        char tmpl[8 + sizeof VOXA_HD22];
        std::strcpy(tmpl, rotated);
        std::strcat(tmpl, " %d" VOXA_HD22);
        int angle = 0;
        const int n = kv_sscanf(line, tmpl, &angle, VOXA_V22);
        if (n < 1) return kCmdFailed;
        return polygon_command(kind, n - 1, true, angle, rotated_fill);
    }
    if (prefix(line, plain)) {
        char tmpl[8 + sizeof VOXA_HD22];
        std::strcpy(tmpl, plain);
        std::strcat(tmpl, VOXA_HD22);
        const int n = kv_sscanf(line, tmpl, VOXA_V22);
        return polygon_command(kind, n, false, 0, plain_fill);
    }
    return kNoMatch;
}

}  // namespace

int row_save_restore(char* line) {
    const bool save = std::strcmp(line, "ss") == 0;
    if (!save && std::strcmp(line, "sr") != 0) return kNoMatch;
    if (macroDepth < 0 || macroDepth >= kGdiStateSlots) return kCmdFailed;
    if (save) {
        SaveState(&GDIState[macroDepth]);
    } else {
        RestoreState(&GDIState[macroDepth]);
    }
    return kCmdDone;
}

int row_polygon(char* line) {
    return polygon_row(line, "pg", "pgr", PolyKind::kOutline, 0, 0);
}

int row_polygon_fill(char* line) {
    return polygon_row(line, "pf", "pfr", PolyKind::kFilled, 1, 1);
}

int row_polyline(char* line) {
    // "plr" marks the polygon filled, "pl" leaves the mark: a following "ppgr" redraws it so.
    return polygon_row(line, "pl", "plr", PolyKind::kOpen, -1, 1);
}

int row_polygon_again(char* line) {
    int angle;
    if (kv_sscanf(line, "ppgr %d", &angle) < 1) return kNoMatch;
    draw_polygon(polyFill == 1 ? PolyKind::kFilled : PolyKind::kOutline, polyCount, true, angle);
    return kCmdDone;
}

int row_pen(char* line) {
    unsigned n;
    if (kv_sscanf(line, "p %u", &n) == 1) {
        if (n < 1 || n > kMaxPen || n > unsigned(LCD_GetXSize()) || n > unsigned(LCD_GetYSize())) {
            return kCmdFailed;
        }
        GUI_SetPenSize(int(n));
        return kCmdDone;
    }
    if (std::strcmp(line, "p") == 0) {
        pout("%d\r", GUI_GetPenSize());
        return kCmdDone;
    }
    return kNoMatch;
}

int row_point(char* line) {
    int x, y;
    if (kv_sscanf(line, "dp %d %d", &x, &y) != 2) return kNoMatch;
    GUI_DrawPoint(atOriginX(x), atOriginY(y));
    return kCmdDone;
}

int row_draw_mode(char* line) {
    if (line[0] != 'd') return kNoMatch;
    if (std::strcmp(line, "d") == 0) {
        const int mode = GUI_GetDrawMode();
        txNotify(mode == GUI_DRAWMODE_NORMAL ? "n\r" : mode == GUI_DRAWMODE_XOR ? "x\r" : "?\r");
        return kCmdDone;
    }
    char word[10];
    if (kv_sscanf(line, "d %9s", word) != 1) return kCmdFailed;
    if (word[0] == 'n') {
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        return kCmdDone;
    }
    if (word[0] == 'x') {
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        return kCmdDone;
    }
    return kNoMatch;
}

int row_palette(char* line) {
    int fg, bg;
    if (kv_sscanf(line, "s %d %d", &fg, &bg) != 2) return kNoMatch;
    if (fg < 0 || fg >= kColorMapSize) {
        txNotify("Invalid Foreground Color");
        fg = 0;
    }
    if (bg < 0 || bg >= kColorMapSize) {
        txNotify("Invalid Background Color");
        bg = 0;
    }
    GUI_SetColor(color_map[fg]);
    GUI_SetBkColor(color_map[bg]);
    return kCmdDone;
}

int row_colors(char* line) {
    if (std::strcmp(line, "S") == 0) {
        pout("%06X (%04X) %06X (%04X)\r", unsigned(swapRB(GUI_GetColor())),
             unsigned(GUI_GetColorIndex()), unsigned(swapRB(GUI_GetBkColor())),
             unsigned(GUI_GetBkColorIndex()));
        return kCmdDone;
    }
    unsigned fg, bg;
    if (kv_sscanf(line, "S %x %x", &fg, &bg) != 2) return kNoMatch;
    char w1[10], w2[10];
    if (kv_sscanf(line, "S %9s %9s", w1, w2) == 2 && std::strlen(w1) == 3 && std::strlen(w2) == 3) {
        GUI_SetColor(atoBGR(w1));
        GUI_SetBkColor(atoBGR(w2));
    } else {
        GUI_SetColor(swapRB(fg & 0xFFFFFF));
        GUI_SetBkColor(swapRB(bg & 0xFFFFFF));
    }
    return kCmdDone;
}

int row_cursor(char* line) {
    if (!prefix(line, "sc")) return kNoMatch;
    int x, y;
    if (kv_sscanf(line, "sc %d %d", &x, &y) == 2) {
        setCursor(x, y);
    } else {
        pout("%d %d\r", int(int64_t(GUI_GetDispPosX()) - Origin_X),
             int(int64_t(GUI_GetDispPosY()) - Origin_Y));
    }
    return kCmdDone;
}

int row_origin(char* line) {
    if (line[0] != 'o') return kNoMatch;
    int x, y;
    if (kv_sscanf(line, "o %d %d", &x, &y) == 2) {
        setOrigin(x, y);
    } else {
        char reply[32];
        kv_snprintf(reply, sizeof reply, "%d %d\r", Origin_X, Origin_Y);
        txString(reply);
    }
    return kCmdDone;
}

int row_line(char* line) {
    int x0, y0, x1, y1;
    if (kv_sscanf(line, "l %d%d%d%d", &x0, &y0, &x1, &y1) != 4) return kNoMatch;
    GUI_DrawLine(atOriginX(x0), atOriginY(y0), atOriginX(x1), atOriginY(y1));
    return kCmdDone;
}

int row_rect(char* line) {
    if (line[0] != 'r') return kNoMatch;
    int x0, y0, x1, y1, type = 0;
    char word[10] = "";
    const int n = kv_sscanf(line, "r %d%d%d%d%d %9s", &x0, &y0, &x1, &y1, &type, word);
    // Every 'r' line that gets this far is the rectangle's; too few values fail it.
    if (n < 4) return kCmdFailed;
    x0 = atOriginX(x0);
    x1 = atOriginX(x1);
    y0 = atOriginY(y0);
    y1 = atOriginY(y1);
    if (n == 4) return GUIDEMO_DrawRect(0, x0, y0, x1, y1);
    const size_t len = std::strlen(word);
    const bool use_word = (type == 1 && n == 6) || (type == 3 && n == 6 && (len == 3 || len == 6));
    if (type == 1 || type == 3) {
        if (!use_word) return GUIDEMO_DrawRect(1, x0, y0, x1, y1);
        const GUI_COLOR old = GUI_SetColor(atoBGR(word));
        const int result = GUIDEMO_DrawRect(1, x0, y0, x1, y1);
        GUI_SetColor(old);
        return result;
    }
    if (n == 5) return GUIDEMO_DrawRect(type, x0, y0, x1, y1);
    return kNoMatch;
}

int row_triangle(char* line) {
    if (!prefix(line, "tr")) return kNoMatch;
    int x[3], y[3];
    char word[10];
    const int n =
        kv_sscanf(line, "tr %d%d %d%d %d%d %9s", &x[0], &y[0], &x[1], &y[1], &x[2], &y[2], word);
    if (n != 6 && n != 7) return kNoMatch;
    GUI_POINT points[3];
    for (int i = 0; i < 3; ++i) {
        points[i] = GUI_POINT{as16(int64_t(x[i]) - x[0]), as16(int64_t(y[i]) - y[0])};
    }
    const int ox = atOriginX(x[0]), oy = atOriginY(y[0]);
    if (n == 6) {
        GUI_DrawPolygon(points, 3, ox, oy);
    } else {
        const GUI_COLOR old = GUI_SetColor(atoBGR(word));
        GUI_FillPolygon(points, 3, ox, oy);
        GUI_SetColor(old);
    }
    return kCmdDone;
}

int row_arc(char* line) {
    int x, y, r, a0, a1;
    if (kv_sscanf(line, "a %d%d %d %d%d", &x, &y, &r, &a0, &a1) != 5) return kNoMatch;
    GL_DrawArc(atOriginX(x), atOriginY(y), r, r, a0, a1);
    return kCmdDone;
}

int row_ellipse(char* line) {
    int x, y, rx, ry;
    const bool filled = kv_sscanf(line, "ef %d%d%d%d", &x, &y, &rx, &ry) == 4;
    if (!filled && kv_sscanf(line, "e %d%d%d%d", &x, &y, &rx, &ry) != 4) return kNoMatch;
    if (rx > kMaxEllipseRadius || ry > kMaxEllipseRadius) {
        txString(filled ? "Radius values over 180\r" : ":Radius values over 180\r");
        return kCmdFailed;
    }
    if (filled) {
        GUI_FillEllipse(atOriginX(x), atOriginY(y), rx, ry);
    } else {
        GUI_DrawEllipse(atOriginX(x), atOriginY(y), rx, ry);
    }
    return kCmdDone;
}

int row_circle(char* line) {
    int x, y, r, marker;
    if (kv_sscanf(line, "c %d%d%d", &x, &y, &r) != 3) return kNoMatch;
    if (kv_sscanf(line, "c %d%d%d%d", &x, &y, &r, &marker) == 4) {
        GUI_FillCircle(atOriginX(x), atOriginY(y), r);
    } else {
        GUI_DrawCircle(atOriginX(x), atOriginY(y), r);
    }
    return kCmdDone;
}

int row_state(char* line) {
    if (!prefix(line, "*STATE")) return kNoMatch;
    char reply[kOutBufferSize];
    if (prefix(line, "*STATEF")) {
        kv_snprintf(reply, sizeof reply,
                    "*STATE:Bclr 0x%06lX Fclr 0x%06lX p 0x%02X line 0x%02X dm 0x%02X ta 0x%02X "
                    "tm %s oX 0x%04X oY 0x%04X X 0x%04X Y 0x%04X\r",
                    (unsigned long)GUI_GetBkColor(), (unsigned long)GUI_GetColor(),
                    GUI_GetPenSize(), GUI_GetLineStyle(), GUI_GetDrawMode(),
                    GUI_GetTextAlign() & 0xFF, curTextMode, Origin_X, Origin_Y, GUI_GetDispPosX(),
                    GUI_GetDispPosY());
    } else {
        kv_snprintf(reply, sizeof reply,
                    "*STATE:0x%06lX 0x%06lX 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X %s 0x%04X "
                    "0x%04X 0x%04X 0x%4X\r",
                    (unsigned long)GUI_GetBkColor(), (unsigned long)GUI_GetColor(),
                    GUI_GetBkColorIndex() & 0xFF, GUI_GetColorIndex() & 0xFF, GUI_GetPenSize(),
                    GUI_GetLineStyle(), GUI_GetDrawMode(), GUI_GetTextAlign() & 0xFF, curTextMode,
                    Origin_X, Origin_Y, GUI_GetDispPosX(), GUI_GetDispPosY());
    }
    txString(reply);
    return kCmdDone;
}

int row_image(char* line) {
    int n, x, y;
    if (kv_sscanf(line, "i %d%d%d", &n, &x, &y) != 3) return kNoMatch;
    if (n != 1 && n != 2) return kCmdFailed;
    GUI_DrawBitmap(n == 1 ? &bmbbutton_up : &bmbbutton_dn, atOriginX(x), atOriginY(y));
    return kCmdDone;
}
