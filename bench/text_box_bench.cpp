// "sta" on a full 20-line text box against what it comes down to, done directly in the same
// run: the box's area scrolled up one line by "k" and the new line drawn with
// GUI_DispStringAt. The box's own work (the command's text, saving and restoring the host's
// drawing state around its own, the row's rectangle) should cost little beside the pixels.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "boards/sim/standalone.h"
#include "command/parse_command.h"
#include "controls/text_boxes.h"
#include "core/main_loop.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "gui/gui.h"
#include "media/fonts.h"
#include "ratio_reporter.h"

namespace {

constexpr int kLines = 20;
constexpr int kChars = 60;
constexpr const char* kText = "12:00:01 pump 3 pressure 2.41 bar, flow 118 l/min";

struct Box {
    int width = 0;  // pixels
    int lineHeight = 0;
};

// Box 0: 20 lines of 60 characters in m12 at the top left, full of lines.
Box set_up() {
    static const bool once = [] {
        sim::Standalone::instance();
        KV_GUI_Init();
        KV_Fonts_Init();
        KV_DrawingState_Init();
        KV_Text_Init();
        return true;
    }();
    (void)once;
    STB_InitScrollTB_Resources();
    GUIDEMO_SetFont("m12");
    GUI_SetColor(0x00FFFF);
    GUI_SetBkColor(0x800000);
    GUI_SetTextMode(GUI_TM_NORMAL);
    GUI_SetTextAlign(GUI_TA_LEFT | GUI_TA_TOP);
    Box b{GUI_GetCharDistX('W') * kChars, GUI_GetFontDistY()};
    STB_DefineScrollTB(0, kBoxPlain, 0, 0, b.width - 1, b.lineHeight * kLines - 1);
    for (int i = 0; i < kLines; ++i) STB_AppendScrollTB(0, kText);
    return b;
}

constexpr size_t kLineSize = 130;

void BM_TextBox_Append(benchmark::State& state) {
    set_up();
    char command[kLineSize];
    char line[kLineSize];
    const int n = std::snprintf(command, sizeof command, "sta 0 \"%s\"", kText) + 1;
    for (auto _ : state) {
        std::memcpy(line, command, size_t(n));
        if (parse_command(line) != 1) {
            state.SkipWithError("sta refused");
            break;
        }
        benchmark::ClobberMemory();
    }
}

void BM_TextBox_ScrollAndText(benchmark::State& state) {
    const Box b = set_up();
    char command[kLineSize];
    char line[kLineSize];
    const int n = std::snprintf(command, sizeof command, "k 0 0 %d %d %d u", b.width - 1,
                                b.lineHeight * kLines - 1, b.lineHeight) +
                  1;
    for (auto _ : state) {
        std::memcpy(line, command, size_t(n));
        if (parse_command(line) != 1) {
            state.SkipWithError("k refused");
            break;
        }
        GUI_DispStringAt(kText, 0, b.lineHeight * (kLines - 1));
        benchmark::ClobberMemory();
    }
}

VOXA_BENCH_MEDIAN(BM_TextBox_ScrollAndText);
VOXA_BENCH_MEDIAN(BM_TextBox_Append);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("sta on a full 20-line box / k + text", "BM_TextBox_Append",
                   "BM_TextBox_ScrollAndText");
    benchmark::Shutdown();
    return 0;
}
