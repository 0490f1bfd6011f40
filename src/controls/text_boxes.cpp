#include "controls/text_boxes.h"

#include <cstring>

#include "base/host_text.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "gui/gui.h"

ScrollBox stbCommon[kScrollBoxes];
ScrollBuffer stbBuffer[kScrollBuffers];
FrozenState stbTempState;

namespace {

constexpr const char* kNormalModeName = "N";

// The longest piece of a line one row can show: a buffered line, or a plain text no longer
// than a command line.
constexpr int kRowTextSize = 160;

void freeze(FrozenState* s) {
    SaveState(&s->gdi);
    const FontEntry* font = s->gdi.font;
    if (font == nullptr || font->font != nullptr) return;
    s->userFont = *font;
    int n = 0;
    for (; font->name != nullptr && n < kFontNameSize - 1 && font->name[n]; ++n) {
        s->userFontName[n] = font->name[n];
    }
    s->userFontName[n] = 0;
    s->userFont.name = s->userFontName;
    s->gdi.font = &s->userFont;
}

// The box's own drawing state for as long as it lives; the caller's comes back afterwards.
class BoxState {
  public:
    explicit BoxState(const ScrollBox& b) {
        freeze(&stbTempState);
        RestoreState(&b.state.gdi);
    }
    ~BoxState() { RestoreState(&stbTempState.gdi); }
    BoxState(const BoxState&) = delete;
    BoxState& operator=(const BoxState&) = delete;
};

ScrollBox* defined_box(int box) {
    if (box < 0 || box >= kScrollBoxes || stbCommon[box].type == kBoxUndefined) return nullptr;
    return &stbCommon[box];
}

ScrollBuffer* buffer_of(int box) {
    ScrollBox* b = defined_box(box);
    if (b == nullptr || b->type != kBoxBuffered) return nullptr;
    return &stbBuffer[box];
}

void empty_buffer(ScrollBuffer* buf) {
    buf->curLine = buf->curChar = buf->bufTopLine = buf->numBufLines = 0;
    std::memset(buf->lines, 0, sizeof buf->lines);
}

int ring(int index) {
    return index % kScrollBufLines;
}

// Stored line k (1 the oldest).
const char* stored_line(const ScrollBuffer& buf, int k) {
    return buf.lines[ring(buf.bufTopLine + k - 1)];
}

// The view's top line, counted like stored lines; 1 while the buffer is empty.
int view_top(const ScrollBuffer& buf) {
    return ring(buf.curLine - buf.bufTopLine + kScrollBufLines) + 1;
}
void set_view_top(ScrollBuffer* buf, int top) {
    buf->curLine = ring(buf->bufTopLine + top - 1);
}

// Lines a view from `top` shows: as many as fit of those stored from there on.
int lines_shown(const ScrollBox& b, const ScrollBuffer& buf, int top) {
    const int after = buf.numBufLines - top + 1;
    if (after <= 0) return 0;
    return after < b.dispLines ? after : b.dispLines;
}

void store(char* slot, const char* text) {
    const size_t n = std::strlen(text);
    std::memcpy(slot, text, n + 1);
}

void clear_area(const ScrollBox& b) {
    GUI_ClearRect(b.x0, b.y0, b.x1, b.y1);
}

void clear_row(const ScrollBox& b, int row) {
    GUI_ClearRect(b.x0, b.y0 + b.fHt * row, b.x1, b.y0 + b.fHt * (row + 1) - 1);
}

// Text on row `row` from column `column`: only the characters that fit, so the spare pixel of
// an odd margin never shows a sliver of the next one.
void draw_row(const ScrollBox& b, int row, const char* text, int column) {
    const int length = int(std::strlen(text));
    char piece[kRowTextSize];
    int n = 0;
    for (int i = column; i < length && n < b.dispChars && n < kRowTextSize - 1; ++i) {
        piece[n++] = text[i];
    }
    piece[n] = 0;
    if (n == 0) return;
    const GUI_RECT rect{int16_t(b.x0), int16_t(b.y0 + b.fHt * row), int16_t(b.x1),
                        int16_t(b.y0 + b.fHt * (row + 1) - 1)};
    GUI_DispStringInRect(piece, &rect, GUI_TA_LEFT | GUI_TA_TOP);
}

// The text area moved by one line, up or down, straight in the frame buffer; the line that
// comes free is painted in the box's background. A box always has at least two lines.
void scroll_line(const ScrollBox& b, bool up) {
    constexpr int pitch = panel::kWidth;
    uint16_t* const area = lcd_framebuffer() + b.y0 * pitch + b.x0;
    const int w = b.x1 - b.x0 + 1, h = b.y1 - b.y0 + 1, n = b.fHt;
    const size_t bytes = size_t(w) * sizeof(uint16_t);
    const uint16_t background = GUI_GetBkColorIndex();
    const auto paint = [&](int row) {
        uint16_t* p = area + row * pitch;
        for (int i = 0; i < w; ++i) p[i] = background;
    };
    if (up) {
        for (int r = 0; r + n < h; ++r)
            std::memcpy(area + r * pitch, area + (r + n) * pitch, bytes);
        for (int r = h - n; r < h; ++r) paint(r);
    } else {
        for (int r = h - 1; r >= n; --r)
            std::memcpy(area + r * pitch, area + (r - n) * pitch, bytes);
        for (int r = 0; r < n; ++r) paint(r);
    }
    board_checkpoint(Work::kPixels, uint32_t(w) * uint32_t(h));
}

// The view from `top` and column `column`, drawn whole.
void redraw(ScrollBox* b, ScrollBuffer* buf, int top, int column) {
    set_view_top(buf, top);
    buf->curChar = column;
    b->numLines = lines_shown(*b, *buf, top);
    clear_area(*b);
    for (int r = 0; r < b->numLines; ++r) draw_row(*b, r, stored_line(*buf, top + r), column);
}

int append_plain(ScrollBox* b, const char* text) {
    if (int(std::strlen(text)) > b->dispChars) return 0;
    if (b->numLines == b->dispLines) {
        scroll_line(*b, true);
        --b->numLines;
    }
    draw_row(*b, b->numLines, text, 0);
    ++b->numLines;
    return 1;
}

int prepend_plain(ScrollBox* b, const char* text) {
    if (int(std::strlen(text)) > b->dispChars) return 0;
    if (b->numLines > 0) scroll_line(*b, false);
    if (b->numLines < b->dispLines) ++b->numLines;
    draw_row(*b, 0, text, 0);
    return 1;
}

int append_buffered(ScrollBox* b, ScrollBuffer* buf, const char* text) {
    if (std::strlen(text) > size_t(kScrollBufChars)) return 0;
    int top = view_top(*buf);
    // Whether the view's bottom row holds the newest line (or the buffer is empty): only then
    // does the new line come into view.
    const bool at_end = top + b->numLines - 1 == buf->numBufLines;
    if (buf->numBufLines == kScrollBufLines) {
        // The oldest line makes room.
        store(buf->lines[buf->bufTopLine], text);
        buf->bufTopLine = ring(buf->bufTopLine + 1);
        if (top == 1) {
            // The view's top line is gone: the view stays at the (new) oldest line, so its lines
            // move up by one and the next one comes in at the bottom.
            scroll_line(*b, true);
            set_view_top(buf, 1);
            const int row = b->numLines - 1;
            draw_row(*b, row, stored_line(*buf, row + 1), buf->curChar);
            return 1;
        }
        --top;
    } else {
        store(buf->lines[ring(buf->bufTopLine + buf->numBufLines)], text);
        ++buf->numBufLines;
    }
    if (at_end) {
        if (b->numLines == b->dispLines) {
            scroll_line(*b, true);
            --b->numLines;
            ++top;
        }
        draw_row(*b, b->numLines, text, buf->curChar);
        ++b->numLines;
    }
    set_view_top(buf, top);
    return 1;
}

int prepend_buffered(ScrollBox* b, ScrollBuffer* buf, const char* text) {
    if (std::strlen(text) > size_t(kScrollBufChars)) return 0;
    const int top = view_top(*buf);
    const bool full = buf->numBufLines == kScrollBufLines;
    // With a full ring the newest line's slot takes the new oldest line.
    buf->bufTopLine = ring(buf->bufTopLine + kScrollBufLines - 1);
    store(buf->lines[buf->bufTopLine], text);
    if (!full) ++buf->numBufLines;
    if (top == 1) {
        if (b->numLines > 0) scroll_line(*b, false);
        if (b->numLines < b->dispLines) ++b->numLines;
        draw_row(*b, 0, text, buf->curChar);
        // A newest line that was dropped may have been showing on the row below the others.
        if (b->numLines > buf->numBufLines) {
            --b->numLines;
            clear_row(*b, b->numLines);
        }
        set_view_top(buf, 1);
        return 1;
    }
    // Out of view: the lines shown keep their rows, one later in the count.
    if (full && top + b->numLines - 1 == kScrollBufLines) {
        // ... except the dropped newest line.
        --b->numLines;
        clear_row(*b, b->numLines);
        if (b->numLines == 0) {
            redraw(b, buf, kScrollBufLines, buf->curChar);
            return 1;
        }
    }
    set_view_top(buf, top + 1);
    return 1;
}

// The view at `top`, `column`: drawn only when it moves.
int move_view(ScrollBox* b, ScrollBuffer* buf, int top, int column) {
    if (top == view_top(*buf) && column == buf->curChar) return 1;
    const BoxState drawing(*b);
    redraw(b, buf, top, column);
    return 1;
}

// The last column the view can start at, so that the 80th character is in it; 0 for a box of
// 80 characters or more.
int last_column(const ScrollBox& b) {
    const int last = kScrollBufChars - b.dispChars;
    return last > 0 ? last : 0;
}

}  // namespace

void STB_InitScrollTB_Resources() {
    for (ScrollBox& b : stbCommon) {
        std::memset(&b, 0, sizeof b);
        b.type = kBoxUndefined;
    }
    for (ScrollBuffer& buf : stbBuffer) {
        empty_buffer(&buf);
        buf.box = -1;
    }
}

int STB_DefineScrollTB(int box, int type, int x0, int y0, int x1, int y1) {
    if (box < 0 || (type == kBoxPlain && box >= kScrollBoxes) ||
        (type == kBoxBuffered && box >= kScrollBuffers) ||
        (type != kBoxPlain && type != kBoxBuffered)) {
        return 0;
    }
    // A font whose blank and W differ is proportional; one with no height or no width (a user
    // font can have either) could not lay out a single line.
    const int fWd = GUI_GetCharDistX('W');
    const int fHt = GUI_GetFontDistY();
    if (GUI_GetCharDistX(' ') != fWd || fWd <= 0 || fHt <= 0) return 0;
    // The rectangle is scrolled in the frame buffer, so all of it must be on the screen.
    const int64_t ax0 = int64_t(x0) + Origin_X, ax1 = int64_t(x1) + Origin_X;
    const int64_t ay0 = int64_t(y0) + Origin_Y, ay1 = int64_t(y1) + Origin_Y;
    if (!(ax0 < ax1 && ay0 < ay1)) return 0;
    if (ax0 < 0 || ay0 < 0 || ax1 >= panel::kWidth || ay1 >= panel::kHeight) return 0;
    const int lines = int(ay1 - ay0 + 1) / fHt;
    const int chars = int(ax1 - ax0 + 1) / fWd;
    if (lines < 2 || chars < 1) return 0;

    ScrollBox& b = stbCommon[box];
    b.type = type;
    b.dispLines = lines;
    b.dispChars = chars;
    b.fHt = fHt;
    b.fWd = fWd;
    const int spareX = (int(ax1 - ax0 + 1) - fWd * chars) / 2;
    const int spareY = (int(ay1 - ay0 + 1) - fHt * lines) / 2;
    b.x0 = int32_t(ax0) + spareX;
    b.x1 = int32_t(ax1) - spareX;
    b.y0 = int32_t(ay0) + spareY;
    b.y1 = int32_t(ay1) - spareY;
    freeze(&b.state);
    b.state.gdi.textMode = GUI_TM_NORMAL;
    b.state.gdi.textModeName = kNormalModeName;
    b.state.gdi.textAlign = GUI_TA_LEFT | GUI_TA_TOP;
    b.numLines = 0;
    // A box that was buffered gives its buffer up when it is defined plain.
    if (box < kScrollBuffers) {
        empty_buffer(&stbBuffer[box]);
        stbBuffer[box].box = type == kBoxBuffered ? box : -1;
    }
    const BoxState drawing(b);
    clear_area(b);
    return 1;
}

int STB_QueryScrollTB(int box, int* lines, int* chars, int* bufLines, int* bufChars) {
    const ScrollBox* b = defined_box(box);
    if (b == nullptr) return 0;
    const bool buffered = b->type == kBoxBuffered;
    if (lines) *lines = b->dispLines;
    if (chars) *chars = b->dispChars;
    if (bufLines) *bufLines = buffered ? kScrollBufLines : 0;
    if (bufChars) *bufChars = buffered ? kScrollBufChars : 0;
    return 1;
}

int STB_ClearScrollTB(int box) {
    ScrollBox* b = defined_box(box);
    if (b == nullptr) return 0;
    b->numLines = 0;
    if (b->type == kBoxBuffered) empty_buffer(&stbBuffer[box]);
    const BoxState drawing(*b);
    clear_area(*b);
    return 1;
}

int STB_AppendScrollTB(int box, const char* text) {
    ScrollBox* b = defined_box(box);
    if (b == nullptr || text == nullptr) return 0;
    const BoxState drawing(*b);
    if (b->type == kBoxBuffered) return append_buffered(b, &stbBuffer[box], text);
    return append_plain(b, text);
}

int STB_PrependScrollTB(int box, const char* text) {
    ScrollBox* b = defined_box(box);
    if (b == nullptr || text == nullptr) return 0;
    const BoxState drawing(*b);
    if (b->type == kBoxBuffered) return prepend_buffered(b, &stbBuffer[box], text);
    return prepend_plain(b, text);
}

int STB_ScrollDisplay(int box, char direction, int count) {
    ScrollBuffer* buf = buffer_of(box);
    if (buf == nullptr) return 0;
    ScrollBox* b = &stbCommon[box];
    const int top = view_top(*buf), column = buf->curChar;
    // The top line of the view of the newest lines; below 1 while they all fit at once.
    const int end_top = buf->numBufLines + 1 - b->dispLines;
    const bool lines = count >= 1 && count < kScrollBufLines;
    const bool columns = count >= 1 && count < kScrollBufChars;
    switch (direction) {
        case 'U':
            return count == 0 && move_view(b, buf, 1, column);
        case 'D':
            return count == 0 && end_top >= 1 && move_view(b, buf, end_top, column);
        case 'L':
            return count == 0 && move_view(b, buf, top, 0);
        case 'R':
            return count == 0 && move_view(b, buf, top, last_column(*b));
        case 'u':
            return lines && move_view(b, buf, top - count > 1 ? top - count : 1, column);
        case 'd': {
            if (!lines || end_top < 1) return 0;
            // A view already past the newest lines' view (from "stg") has nowhere to go down.
            const int to = top >= end_top ? top : (top + count < end_top ? top + count : end_top);
            return move_view(b, buf, to, column);
        }
        case 'l':
            return columns && move_view(b, buf, top, column - count > 0 ? column - count : 0);
        case 'r': {
            if (!columns) return 0;
            const int last = last_column(*b);
            const int to =
                column >= last ? column : (column + count < last ? column + count : last);
            return move_view(b, buf, top, to);
        }
        default:
            return 0;
    }
}

int STB_DisplayFromLineChar(int box, int line, int column) {
    ScrollBuffer* buf = buffer_of(box);
    if (buf == nullptr) return 0;
    if (line < 1 || line > kScrollBufLines || column < 1 || column > kScrollBufChars) return 0;
    ScrollBox* b = &stbCommon[box];
    const int newest = buf->numBufLines > 0 ? buf->numBufLines : 1;
    const int top = line < newest ? line : newest;
    const int limit = kScrollBufChars + 1 - b->dispChars;
    const int from = (column < limit ? column : limit) - 1;
    const BoxState drawing(*b);
    redraw(b, buf, top, from > 0 ? from : 0);
    return 1;
}

int STB_Dump(int box) {
    if (box < 0 || box >= kScrollBoxes) {
        perr(":Invalid Index %d\r", box);
        return 0;
    }
    const ScrollBox& b = stbCommon[box];
    if (b.type == kBoxUndefined) {
        perr(":Scrolling Textbox %d NOT DEFINED\r", box);
        return 1;
    }
    perr(":common info:\r");
    perr(":index: %d   type: %d   rect: %d %d %d %d\r", box, int(b.type), int(b.x0), int(b.y0),
         int(b.x1), int(b.y1));
    perr(":dispLines: %d   dispChars: %d   numLines: %d   fHt: %d   fWd:%d\r", int(b.dispLines),
         int(b.dispChars), int(b.numLines), int(b.fHt), int(b.fWd));
    if (b.type != kBoxBuffered) {
        perr(":buffer info NOT DEFINED\r");
        return 1;
    }
    const ScrollBuffer& buf = stbBuffer[box];
    perr(":buffer info:\r");
    perr(":type: %d   :curLine: %d   curChar: %d\r", int(buf.box), int(buf.curLine),
         int(buf.curChar));
    perr(":bufTopLine: %d   numBufLines: %d\r", int(buf.bufTopLine), int(buf.numBufLines));
    for (int k = 1; k <= buf.numBufLines; ++k) perr(":%03d [%s]\r", k, stored_line(buf, k));
    return 1;
}
