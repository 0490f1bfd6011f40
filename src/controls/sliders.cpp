#include "controls/sliders.h"

#include <cstdint>

#include "base/host_text.h"
#include "device/panel_config.h"
#include "device/scan_wait.h"
#include "gui/gui.h"
#include "media/bitmaps.h"
#include "media/ext_image.h"
#include "touch/control_hooks.h"
#include "touch/hotspots.h"

namespace {

constexpr int32_t kFree = -1;
constexpr int32_t kNoThumb = -1;  // `last` before the first thumb is drawn

struct Slider {
    // The interrupt's view of the entry: -1 while the entry is free or being written.
    volatile int32_t hotspot;
    int32_t x0, y0, x1, y1;  // the background, which is also the hotspot's rectangle
    ValueMapping map;        // the thumb centre's travel
    int32_t offset;
    int32_t last;
    int32_t value;
    // Bitmaps by record number, looked up at each draw: the file may be replaced while the
    // slider lives. The sizes they had at definition fix the geometry.
    int32_t background, thumb;
    int32_t thumbW, thumbH;
};

Slider sliders[kSliderCount];

// Zero-initialised entries (before KV_Slider_Init) count as free too.
bool in_use(const Slider& s) {
    const int32_t h = s.hotspot;
    return h >= kFirstPlainHotSpot && h <= kLastHotSpot;
}

bool vertical(const Slider& s) {
    return s.map.orientation == kMapAlongY;
}

// Nothing written before this point may be moved after it, nor anything after it before: the
// interrupt that reads the table is the only other party, on the same processor.
void ordered() {
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
}

void publish(Slider& s, int hotspot) {
    ordered();
    s.hotspot = hotspot;
}

void withdraw(Slider& s) {
    s.hotspot = kFree;
    ordered();
}

// The bitmap a slider was defined with, as long as the current file still has it at that size.
bool bitmap_as_defined(int index, int width, int height, BitmapHandle* out) {
    return KV_GetExtBitmap(index, out) && out->width == width && out->height == height;
}

// The background's pixels in an absolute rectangle (inside the background).
void restore_background(const BitmapHandle& bg, const Slider& s, int x0, int y0, int x1, int y1) {
    switch (bg.type) {
        case kRecBitmap:
            KV_DrawBitmapClipAbs(&bg, s.x0, s.y0, x0, y0, x1, y1);
            break;
        case kRecTransparentBitmap:
            KV_DrawBitmapTrClipAbs(&bg, s.x0, s.y0, x0, y0, x1, y1, bg.key);
            break;
        default: {
            // Run-length: the library decodes the whole stream, drawing only inside its clip.
            const GUI_RECT rect{int16_t(x0), int16_t(y0), int16_t(x1), int16_t(y1)};
            const GUI_RECT old = GUI_SetClipRect(&rect);
            KV_DrawBitmap(&bg, s.x0, s.y0);
            GUI_SetClipRect(&old);
            break;
        }
    }
}

// Top-left corner of the thumb centred on pos.
void thumb_corner(const Slider& s, int pos, int* x, int* y) {
    if (vertical(s)) {
        *x = s.x0 + s.offset;
        *y = pos - (s.thumbH - 1) / 2;
    } else {
        *x = pos - (s.thumbW - 1) / 2;
        *y = s.y0 + s.offset;
    }
}

int move_thumb(Slider& s, int x, int y) {
    const bool vert = vertical(s);
    const int lo = vert ? s.map.y0 : s.map.x0;
    const int hi = vert ? s.map.y1 : s.map.x1;
    const int along = vert ? y : x;
    const int pos = along < lo ? lo : along > hi ? hi : along;
    // A point beyond an end moves the thumb no further than a point on the end: no redraw.
    if (pos != s.last) {
        int tx, ty;
        thumb_corner(s, pos, &tx, &ty);
        if ((vert ? ty : tx) < 0) return 0;
        BitmapHandle bg, thumb;
        const int bgW = s.x1 - s.x0 + 1, bgH = s.y1 - s.y0 + 1;
        if (bitmap_as_defined(s.background, bgW, bgH, &bg) &&
            bitmap_as_defined(s.thumb, s.thumbW, s.thumbH, &thumb)) {
            // Until the scan has passed the thumb's last line, so it never shows torn.
            wvr(ty + s.thumbH - 1);
            if (s.last != kNoThumb) {
                int ox, oy;
                thumb_corner(s, s.last, &ox, &oy);
                restore_background(bg, s, ox, oy, ox + s.thumbW - 1, oy + s.thumbH - 1);
            }
            KV_DrawBitmap(&thumb, tx, ty);
        }
    }
    s.last = pos;
    s.value = KV_PixelToValue(s.map, pos);
    return s.value;
}

bool valid_entry(int i) {
    return i >= 0 && i < kSliderCount;
}

int slider_value_hook(int i) {
    return KV_Slider_GetValue(i);
}

}  // namespace

void KV_Slider_Init() {
    for (int i = 0; i < kSliderCount; ++i) KV_Slider_Unset(i);
    // The buttons install their own members of the same table: keep whatever is there.
    TouchControlHooks hooks = touchControls();
    hooks.sliderFind = KV_Slider_Find;
    hooks.sliderValue = slider_value_hook;
    hooks.sliderTouched = KV_Slider_Touched;
    hooks.sliderUnset = KV_Slider_Unset;
    hooks.circSliderFind = CircSliderFind;
    hooks.circSliderTouched = CircSliderTouched;
    hooks.isXYinSlider = isXYinSlider;
    KV_Touch_SetControlHooks(hooks);
}

void KV_Slider_Unset(int i) {
    if (!valid_entry(i)) return;
    Slider& s = sliders[i];
    withdraw(s);
    s.last = kNoThumb;
    s.value = 0;
}

int KV_Slider_Find(int hotspot) {
    if (hotspot < kFirstPlainHotSpot || hotspot > kLastHotSpot) return -1;
    for (int i = 0; i < kSliderCount; ++i) {
        if (sliders[i].hotspot == hotspot) return i;
    }
    return -1;
}

int KV_Slider_GetValue(int i) {
    return valid_entry(i) && in_use(sliders[i]) ? sliders[i].value : 0;
}

int KV_Slider_Setup(int hotspot, int orientation, int optionT, int x, int y, int offset, int invert,
                    int max, int min, int background, int thumb) {
    if (hotspot < kFirstPlainHotSpot || hotspot > kLastHotSpot) return 0;
    // Without an axis there is no mapping, and with the limits upside down a value would fall
    // outside both: nothing on the screen or in the hotspot table has changed yet.
    if ((orientation != kMapAlongY && orientation != kMapAlongX) || max < min) return 0;
    int entry = -1;
    for (int i = 0; i < kSliderCount && entry < 0; ++i) {
        if (!in_use(sliders[i]) || sliders[i].hotspot == hotspot) entry = i;
    }
    if (entry < 0) {
        txString("max sliders\r");
        return 0;
    }
    if (offset < 0) {
        txString("offset must be >= 0\r");
        return 0;
    }
    BitmapHandle bg, th;
    if (!KV_GetExtBitmap(background, &bg)) {
        txString("bad background bitmap\r");
        return 0;
    }
    if (x < 0 || y < 0 || int64_t(x) + bg.width > panel::kWidth ||
        int64_t(y) + bg.height > panel::kHeight) {
        txString("bad background bitmap size or location\r");
        return 0;
    }
    if (!KV_GetExtBitmap(thumb, &th)) {
        txString("bad slider bitmap\r");
        return 0;
    }
    const bool fits = orientation == kMapAlongY
                          ? th.height < bg.height && bg.width >= int64_t(offset) + th.width
                          : th.width < bg.width && bg.height >= int64_t(offset) + th.height;
    if (!fits) {
        txString("bad slider size or offset\r");
        return 0;
    }

    // Also frees the entry this hotspot had, which may be the one taken here.
    KV_Touch_HotSpot_Unset(hotspot);
    Slider& s = sliders[entry];
    withdraw(s);
    s.x0 = x;
    s.y0 = y;
    s.x1 = x + bg.width - 1;
    s.y1 = y + bg.height - 1;

    HotSpot& h = TouchHotSpots[hotspot];
    h.type = kSpotPlain;
    h.x0 = s.x0;
    h.y0 = s.y0;
    h.x1 = s.x1;
    h.y1 = s.y1;
    h.options = kOptReportEnable;
    h.touchState = optionT ? kTouchAutoRepeat : 0;
    KV_HotSpot_TableChanged();

    KV_Chart_Common(&s.map, x + th.width / 2, y + th.height / 2, s.x1 - th.width / 2,
                    s.y1 - th.height / 2, orientation, invert != 0, max, min, GUI_COLOR(-1));
    s.offset = offset;
    s.background = background;
    s.thumb = thumb;
    s.thumbW = th.width;
    s.thumbH = th.height;
    s.last = kNoThumb;
    KV_DrawBitmap(&bg, x, y);
    // The thumb starts at the end that gives the minimum.
    const bool inverted = invert != 0;
    if (orientation == kMapAlongY) {
        move_thumb(s, s.map.x0, inverted ? s.map.y1 : s.map.y0);
    } else {
        move_thumb(s, inverted ? s.map.x1 : s.map.x0, s.map.y0);
    }
    publish(s, hotspot);
    return 1;
}

int KV_Slider_Touched(int i, int x, int y) {
    if (!valid_entry(i) || !in_use(sliders[i])) return 0;
    return move_thumb(sliders[i], x, y);
}

int KV_Slider_Value(int hotspot, int value) {
    const int i = KV_Slider_Find(hotspot);
    if (i < 0) return 0;
    Slider& s = sliders[i];
    if (value < s.map.minimum || value > s.map.maximum) return 0;
    s.value = value;
    int32_t p = KV_ValueToPixel(s.map, value);
    if (p < 0) p = 0;  // equal limits: every value is at the start
    const bool inverted = s.map.flags & kMapInvert;
    if (vertical(s)) {
        move_thumb(s, s.map.x0, inverted ? s.map.y1 - p : s.map.y0 + p);
    } else {
        move_thumb(s, inverted ? s.map.x1 - p : s.map.x0 + p, s.map.y0);
    }
    return 1;
}

int isXYinSlider(int x, int y) {
    for (const Slider& s : sliders) {
        if (!in_use(s)) continue;
        ordered();
        if (x >= s.x0 && x <= s.x1 && y >= s.y0 && y <= s.y1) return 1;
    }
    return 0;
}

int CircSliderFind(int) {
    return -1;
}

int CircSliderTouched(int, int, int) {
    return 0;
}
