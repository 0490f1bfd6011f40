#include "controls/buttons.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "base/host_text.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/bitmap_wait.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "macro/hotspot_macros.h"
#include "macro/macro.h"
#include "media/button_faces.h"
#include "media/ext_image.h"
#include "touch/control_hooks.h"
#include "touch/hotspots.h"
#include "touch/macro_bindings.h"

ButtonRecord buttonInfo[kButtonCount];

namespace {

struct ButtonKind {
    int type;
    bool twoState;
    uint8_t reports;     // report option bits
    uint8_t touchState;  // auto-repeat
    uint8_t state;       // initial state
};

constexpr ButtonKind kKinds[] = {
    {1, false, kOptReportPress, 0, 0},
    {3, false, kOptReportPress, kTouchAutoRepeat, 0},
    {4, false, kOptReportRelease, 0, 0},
    {5, false, kOptReportPress | kOptReportRelease, 0, 0},
    {30, false, kOptReportPress | kOptNoRepeatBeep, kTouchAutoRepeat, 0},
    {2, true, 0, 0, 1},
    {20, true, 0, 0, 1},
    {21, true, 0, 0, 0},
};

const ButtonKind* find_kind(int type) {
    for (const ButtonKind& k : kKinds) {
        if (k.type == type) return &k;
    }
    return nullptr;
}

bool valid_button(int n) {
    return n >= 0 && n < kButtonCount;
}

// Positions come from the host plus the origin, so the sums are taken wide and saturated.
int32_t add_sat(int a, int64_t b) {
    const int64_t s = int64_t(a) + b;
    return s > INT32_MAX ? INT32_MAX : s < INT32_MIN ? INT32_MIN : int32_t(s);
}

BitmapHandle face_of(const GUI_BITMAP& face) {
    BitmapHandle h{};
    h.type = kRecBitmap;
    h.width = face.XSize;
    h.height = face.YSize;
    h.stride = face.BytesPerLine;
    h.pixels = face.pData;
    h.bytes = uint32_t(face.BytesPerLine) * face.YSize;
    return h;
}

// A bitmap of the file, or the built-in face of that state when the number names none.
BitmapHandle image_for(int number, int state) {
    BitmapHandle h;
    if (KV_GetExtBitmap(number, &h)) return h;
    return state ? kv_bmbutton_dn() : kv_bmbutton_up();
}

// A user font is built into an object of its own, so the host's user font in CmdFont is left
// alone and comes back by the pointer alone.
GUI_FONT buttonFont;

void select_font(const FontEntry& entry) {
    if (entry.font != nullptr) {
        GUI_SetFont(entry.font);
    } else if (entry.sifData != nullptr) {
        KV_SetFont(&entry, &buttonFont);
    }
}

bool is_two_state(const HotSpot& h) {
    return h.type == kSpotToggleButton || h.type == kSpotToggleButton + kHotSpotDisabledOffset;
}

// The decoded text cut to what a record holds.
void copy_text(char* dst, const char* src) {
    size_t n = 0;
    while (n < kButtonTextSize - 1 && src[n] != '\0') {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = '\0';
}

void draw(int index, int state, bool synced) {
    ButtonRecord& b = buttonInfo[index];
    const HotSpot& h = TouchHotSpots[size_t(index)];
    const int s = state ? 1 : 0;
    b.state = uint8_t(s);

    const GUI_FONT* font = GUI_GetFont();
    const int border = GUIDEMO_GetTextBorder();
    const int textMode = GUI_GetTextMode();
    const int drawMode = GUI_GetDrawMode();
    const int cursorX = GUI_GetDispPosX();
    const int cursorY = GUI_GetDispPosY();
    const GUI_COLOR colour = GUI_GetColor();
    const int align = GUI_GetTextAlign();

    select_font(b.font);
    if (synced) {
        KV_DrawBitmapW(&b.image[s], h.x0, h.y0);
    } else {
        KV_DrawBitmap(&b.image[s], h.x0, h.y0);
    }
    const int t = is_two_state(h) ? s : 0;
    GUI_SetColor(b.colour);
    GUI_SetTextMode(GUI_TM_TRANS);
    GUIDEMO_SetTextBorder(b.textX[t]);
    GUI_SetTextAlign(GUI_TA_LEFT);
    if (h.options & kOptCentredText) {
        KV_DispStringCenter(b.text[t], h.x0, h.y0, h.x1, h.y1);
    } else {
        KV_DispStringAt(b.text[t], b.textX[t], b.textY[t]);
    }

    GUI_SetFont(font);
    GUIDEMO_SetTextBorder(border);
    GUI_SetTextMode(textMode);
    GUI_SetDrawMode(drawMode);
    GUI_GotoXY(cursorX, cursorY);
    GUI_SetColor(colour);
    GUI_SetTextAlign(align);
}

// Touch hooks: the touch module reports and queues macros itself; these only keep the state
// and the face.
int hook_state(int spot) {
    return valid_button(spot) ? buttonInfo[spot].state : 0;
}

void hook_show(int spot, int state) {
    if (valid_button(spot)) draw(spot, state, true);
}

void hook_redraw(int spot) {
    if (!valid_button(spot)) return;
    // A removed button keeps its record; only a live entry may paint it back.
    const int type = TouchHotSpots[size_t(spot)].type;
    if (type == kSpotMomentaryButton) {
        draw(spot, 0, false);
    } else if (type == kSpotToggleButton) {
        draw(spot, buttonInfo[spot].state, false);
    }
}

// The numbers after the texts: offsets and image numbers, or the message saying what is
// missing.
struct Numbers {
    int xoff[2] = {0, 0};
    int yoff[2] = {0, 0};
    int image[2] = {0, 0};  // 0 names no bitmap: the built-in faces
};

bool read_numbers(const char* rest, bool twoText, int centred, Numbers* n) {
    if (centred) {
        const int got = kv_sscanf(rest, "%d%d", &n->image[0], &n->image[1]);
        if (got == 1) {
            txNotify(": missing argument(s)\r");
            return false;
        }
        if (got != 2) n->image[0] = n->image[1] = 0;
        return true;
    }
    if (!twoText) {
        const int got =
            kv_sscanf(rest, "%d%d%d%d", &n->xoff[0], &n->yoff[0], &n->image[0], &n->image[1]);
        if (got < 2) {
            txNotify(": missing argument(s)\r");
            return false;
        }
        if (got < 4) n->image[0] = n->image[1] = 0;
        n->xoff[1] = n->xoff[0];
        n->yoff[1] = n->yoff[0];
        return true;
    }
    const int got = kv_sscanf(rest, "%d%d%d%d%d%d", &n->xoff[0], &n->yoff[0], &n->xoff[1],
                              &n->yoff[1], &n->image[0], &n->image[1]);
    if (got < 4) {
        txNotify(": missing argument(s)\r");
        return false;
    }
    if (got < 6) n->image[0] = n->image[1] = 0;
    return true;
}

}  // namespace

BitmapHandle kv_bmbutton_up() {
    return face_of(bmbbutton_up);
}
BitmapHandle kv_bmbutton_dn() {
    return face_of(bmbbutton_dn);
}

int cmd_ButtonDefine(char* line, int index, int x, int y, int type, int centred) {
    if (!valid_button(index)) return 0;
    KV_Touch_HotSpot_Unset(index);

    // INT_MIN has no positive counterpart: it is no type at all.
    const bool disable = type < 0;
    const ButtonKind* kind = type == INT_MIN ? nullptr : find_kind(disable ? -type : type);
    if (kind == nullptr) {
        pout(": invalid %d\r", type);
        return 0;
    }

    char texts[2][kButtonTextSize];
    char* rest = nullptr;
    if (escstr(line, '"', &rest) == nullptr) {
        txNotify(kind->twoState ? ": missing text argument(s)\r" : ": missing text argument\r");
        return 0;
    }
    copy_text(texts[0], line);
    texts[1][0] = '\0';
    if (kind->twoState) {
        char* second = rest;
        if (escstr(second, '"', &rest) == nullptr) {
            txNotify(": missing text argument(s)\r");
            return 0;
        }
        copy_text(texts[1], second);
    }

    Numbers n;
    if (!read_numbers(rest, kind->twoState, centred, &n)) return 0;

    const BitmapHandle images[2] = {image_for(n.image[0], 0), image_for(n.image[1], 1)};
    if (images[0].width < 1 || images[0].height < 1 || images[1].width < 1 ||
        images[1].height < 1) {
        txNotify(": bitmap dimension less than 1\r");
        return 0;
    }
    if (images[0].width != images[1].width) {
        txNotify(": bitmaps have different width\r");
        return 0;
    }
    if (images[0].height != images[1].height) {
        txNotify(": bitmaps have different height\r");
        return 0;
    }

    ButtonRecord& b = buttonInfo[index];
    for (int s = 0; s < 2; ++s) {
        b.image[s] = images[s];
        b.textX[s] = centred ? x : add_sat(x, n.xoff[s]);
        b.textY[s] = centred ? y : add_sat(y, n.yoff[s]);
        std::memcpy(b.text[s], texts[s], sizeof b.text[s]);
    }
    b.state = kind->state;
    b.font = *KV_GetFontPtr();
    b.colour = GUI_GetColor();

    HotSpot& h = TouchHotSpots[size_t(index)];
    h.type = kind->twoState ? kSpotToggleButton : kSpotMomentaryButton;
    // The face's own pixels and no more: a button beside it starts on the next column.
    h.x0 = x;
    h.y0 = y;
    h.x1 = add_sat(x, int64_t(images[0].width) - 1);
    h.y1 = add_sat(y, int64_t(images[0].height) - 1);
    h.options =
        uint8_t(kind->reports | kOptReportEnable | kOptBeep | (centred ? kOptCentredText : 0));
    h.touchState = kind->touchState;
    h.pressMacro = h.releaseMacro = 0;

    draw(index, b.state, false);

    if (disable) h.type += kHotSpotDisabledOffset;
    KV_HotSpot_TableChanged();
    handle_spotNotReleasedWhenDefined(index);
    return 1;
}

void KV_Button_Draw(int index, int state, bool synced) {
    if (valid_button(index)) draw(index, state, synced);
}

int KV_Button_SetState(int n, int s) {
    if (!valid_button(n) || s < 0 || s > 1) return 0;
    HotSpot& h = TouchHotSpots[size_t(n)];
    ButtonRecord& b = buttonInfo[n];
    if (h.type == kSpotToggleButton) {
        // The press of a toggle button flips it, so starting from the opposite state it lands
        // on s, drawn and with the macro of s queued.
        b.state = uint8_t(1 - s);
        draw(n, s, true);
        const int macro = s ? h.pressMacro : h.releaseMacro;
        if (macro) {
            setQueuedMacroLabel(n, s);
            scheduleMacro(macro, getMacroArgs(n, s));
        }
    } else if (h.type >= 0 && h.type <= kSpotMomentaryButton) {
        b.state = uint8_t(1 - s);
        updateSpot(1, n, 0, h.x0, h.y0, 0);
    } else if (h.type > kSpotToggleButton && h.type < kSpotFree) {
        b.state = uint8_t(s);
    }
    return 1;
}

int KV_Button_Remove(int n) {
    if (!valid_button(n)) return 0;
    KV_Touch_HotSpot_Unset(n);
    return 1;
}

void KV_Buttons_Init() {
    for (ButtonRecord& b : buttonInfo) b = ButtonRecord{};
    // The hooks already installed (sliders) stay as they are.
    TouchControlHooks hooks = touchControls();
    hooks.buttonState = hook_state;
    hooks.buttonShow = hook_show;
    hooks.buttonRedraw = hook_redraw;
    KV_Touch_SetControlHooks(hooks);
}
