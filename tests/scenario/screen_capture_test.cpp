// "*getScreenAsBMPFile" through the whole module: the file a PC reads back, its names, the
// replies and their pacing, and the ways it refuses or fails.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../support/dosfs.h"
#include "harness/harness.h"
#include "src/gui/rgb565.h"

namespace voxa_test {
namespace {

constexpr const char* kCapture = "*getScreenAsBMPFile";

uint32_t le32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
           uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}
uint32_t le16(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8;
}

sim::Module::Options folder_card(sim::Panel panel, const std::string& dir) {
    sim::Module::Options o;
    o.panel = panel;
    o.sd_dir = dir;
    return o;
}

sim::Module::Options image_card(const std::string& image) {
    sim::Module::Options o;
    o.sd_image = image;
    return o;
}

// Every level of each 565 field, side by side, and colours mixed from all three, with single
// pixels in two corners that tell the rows' order and the columns' direction apart.
void draw_test_screen(Harness& h) {
    const int w = h.module().width(), ht = h.module().height();
    ASSERT_EQ(h.command("S 000 FFF"), ">\r");
    ASSERT_EQ(h.command("z"), ">\r");
    char line[96];
    for (int i = 0; i < 64; ++i) {
        const int x0 = i * w / 64, x1 = (i + 1) * w / 64 - 1;
        const int r = (i / 2) * 255 / 31, g = i * 255 / 63, b = ((63 - i) / 2) * 255 / 31;
        std::snprintf(line, sizeof line, "r %d 0 %d 59 1 %02X0000", x0, x1, r);
        ASSERT_EQ(h.command(line), ">\r") << line;
        std::snprintf(line, sizeof line, "r %d 60 %d 119 1 00%02X00", x0, x1, g);
        ASSERT_EQ(h.command(line), ">\r") << line;
        std::snprintf(line, sizeof line, "r %d 120 %d 179 1 0000%02X", x0, x1, b);
        ASSERT_EQ(h.command(line), ">\r") << line;
        std::snprintf(line, sizeof line, "r %d 180 %d 239 1 %02X%02X%02X", x0, x1, (i * 37) & 255,
                      (i * 91) & 255, (i * 13 + 7) & 255);
        ASSERT_EQ(h.command(line), ">\r") << line;
    }
    ASSERT_EQ(h.command("c 400 360 100 1"), ">\r");
    std::snprintf(line, sizeof line, "pwx %d %d 12F0A8", w - 1, ht - 1);
    ASSERT_EQ(h.command(line), ">\r");
    ASSERT_EQ(h.command("pwx 0 0 F8107C"), ">\r");
}

// The 5-bit value a capture must hold for an 8-bit channel that the screen reads back.
uint32_t five(uint32_t c) {
    return (31 * c + 127) / 255;
}

// ImageMagick's reading of the file, each channel turned back into the 5 bits it came from,
// against the screen quantised by the capture's rule. Returns the first mismatch, empty if none.
std::string compare_with_screen(Harness& h, const std::string& bmp, const std::string& tmp) {
    const int w = h.module().width(), ht = h.module().height();
    std::string out;
    if (run("identify -format '%w %h' " + quote(bmp), &out) != 0) return "identify: " + out;
    if (out != std::to_string(w) + " " + std::to_string(ht)) return "identify says " + out;
    if (run("convert " + quote(bmp) + " -depth 8 rgb:" + quote(tmp), &out) != 0)
        return "convert: " + out;
    const std::string rgb = read_file(tmp);
    if (rgb.size() != size_t(w) * ht * 3) return "convert gave " + std::to_string(rgb.size());
    for (int y = 0; y < ht; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint16_t p = h.pixel(x, y);
            const uint32_t want[3] = {five(rgb565::expand5(rgb565::red5(p))),
                                      five(rgb565::expand6(rgb565::green6(p))),
                                      five(rgb565::expand5(rgb565::blue5(p)))};
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = uint8_t(rgb[(size_t(y) * w + x) * 3 + c]);
                const uint32_t got = (v * 31 + 127) / 255;
                if (got != want[c]) {
                    return "pixel " + std::to_string(x) + "," + std::to_string(y) + " channel " +
                           std::to_string(c) + ": " + std::to_string(got) + " for " +
                           std::to_string(want[c]) + " (screen " + std::to_string(p) + ")";
                }
            }
        }
    }
    return "";
}

TEST(ScreenCapture, TwoCapturesOfTheWvgaScreenAsAPcReadsThem) {
    TempDir dir;
    const std::string card = dir / "card";
    run("mkdir " + quote(card));
    Harness h(folder_card(sim::Panel::kWvga, card));
    h.boot();
    draw_test_screen(h);

    h.take();
    h.send(std::string(kCapture) + "\r");
    const auto host_start = std::chrono::steady_clock::now();
    h.run_ms(3000);
    const double host_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - host_start)
            .count();
    const std::vector<sim::TimedByte> timed = h.take_timed();
    std::string reply;
    for (const auto& b : timed) reply += char(b.byte);
    ASSERT_GE(timed.size(), 32u) << visible(reply);
    std::printf(
        "WVGA capture: %.0f ms of virtual time from the name to the end, %.0f ms on the host\n",
        double(timed[timed.size() - 3].t_ns - timed[28].t_ns) / 1e6, host_ms);
    EXPECT_EQ(reply.substr(0, 29), ":writing SD File VOXA0000.BMP");
    // Dots only, then the end of the line and the prompt.
    const std::string rest = reply.substr(29);
    ASSERT_GE(rest.size(), 3u) << visible(reply);
    EXPECT_EQ(rest.substr(rest.size() - 3), "\r>\r") << visible(reply);
    EXPECT_EQ(rest.find_first_not_of('.'), rest.size() - 3) << visible(reply);

    const std::string file = read_file(card + "/VOXA0000.BMP");
    ASSERT_EQ(file.size(), 768054u);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(le32(file, 2), 768054u) << "file size";
    EXPECT_EQ(le32(file, 6), 0u) << "reserved words";
    EXPECT_EQ(le32(file, 10), 54u) << "pixel offset";
    EXPECT_EQ(le32(file, 14), 40u) << "information header size";
    EXPECT_EQ(le32(file, 18), 800u);
    EXPECT_EQ(le32(file, 22), 480u) << "positive: bottom-up";
    EXPECT_EQ(le16(file, 26), 1u) << "planes";
    EXPECT_EQ(le16(file, 28), 16u) << "bits per pixel";
    EXPECT_EQ(le32(file, 30), 0u) << "no compression";
    EXPECT_EQ(le32(file, 34), 768000u) << "image size";
    EXPECT_EQ(le32(file, 46), 0u) << "colours used";
    // The bottom-right pixel is the last of the first row in the file, bit 15 clear.
    const uint32_t last = le16(file, 54 + 799 * 2);
    EXPECT_EQ(last, five(rgb565::expand5(0x12 >> 3)) << 10 | five(rgb565::expand6(0xF0 >> 2)) << 5 |
                        five(rgb565::expand5(0xA8 >> 3)));
    EXPECT_EQ(compare_with_screen(h, card + "/VOXA0000.BMP", dir / "rgb"), "");

    ASSERT_EQ(h.command("r 0 0 99 99 1 FFFFFF"), ">\r");
    const std::string second = h.command(kCapture, 20000);
    EXPECT_EQ(second.substr(0, 29), ":writing SD File VOXA0001.BMP") << visible(second);
    EXPECT_EQ(compare_with_screen(h, card + "/VOXA0001.BMP", dir / "rgb"), "");
    EXPECT_NE(read_file(card + "/VOXA0001.BMP"), file);
}

// The dots come from the millisecond interrupt's countdown: one each time 500 ms have passed
// since the name went out (or since the last dot), while the file is being written. A card
// that is slow to write (2 ms more per sector) makes the capture last several seconds.
TEST(ScreenCapture, ProgressDotsEvery500Milliseconds) {
    TempDir dir;
    const std::string card = dir / "card";
    run("mkdir " + quote(card));
    Harness h(folder_card(sim::Panel::kWvga, card));
    h.boot();
    draw_test_screen(h);
    h.module().slow_sd_writes(2'000'000);
    h.take_timed();
    h.send(std::string(kCapture) + "\r");
    h.run_ms(10000);
    const std::vector<sim::TimedByte> out = h.take_timed();
    std::string text;
    for (const auto& b : out) text += char(b.byte);
    const std::string head = ":writing SD File VOXA0000.BMP";
    ASSERT_EQ(text.substr(0, head.size()), head) << visible(text);
    const uint64_t named = out[head.size() - 1].t_ns;
    size_t i = head.size();
    int dots = 0;
    // A dot can only go out between two pieces of work: after at most one sector write.
    uint64_t armed = named;
    for (; i < out.size() && out[i].byte == '.'; ++i, ++dots) {
        const double after = double(out[i].t_ns - armed) / 1e6;
        EXPECT_GE(after, 500.0) << "dot " << dots;
        EXPECT_LT(after, 503.0) << "dot " << dots;
        armed = out[i].t_ns;
    }
    ASSERT_LT(i, out.size());
    const double total = double(out[i].t_ns - named) / 1e6;
    EXPECT_GT(total, 3000.0);
    EXPECT_EQ(dots, int(total / 500.0)) << total << " ms";
    EXPECT_EQ(text.substr(i), "\r>\r");
    EXPECT_EQ(read_file(card + "/VOXA0000.BMP").size(), 768054u);
}

TEST(ScreenCapture, FileSizeFollowsThePanel) {
    for (const sim::Panel panel : {sim::Panel::kVga, sim::Panel::kSvga}) {
        TempDir dir;
        const std::string card = dir / "card";
        run("mkdir " + quote(card));
        Harness h(folder_card(panel, card));
        h.boot();
        const std::string reply = h.command(kCapture, 20000);
        EXPECT_EQ(reply.substr(reply.size() - 3), "\r>\r") << visible(reply);
        const std::string file = read_file(card + "/VOXA0000.BMP");
        const uint32_t w = uint32_t(h.module().width()), ht = uint32_t(h.module().height());
        EXPECT_EQ(file.size(), 54u + w * ht * 2) << sim::panel_name(panel);
        EXPECT_EQ(le32(file, 18), w);
        EXPECT_EQ(le32(file, 22), ht);
        EXPECT_EQ(compare_with_screen(h, card + "/VOXA0000.BMP", dir / "rgb"), "");
    }
}

TEST(ScreenCapture, RefusalsAndFailures) {
    TempDir dir;
    {
        sim::Module::Options o;
        o.no_sd = true;
        Harness h(o);
        h.boot();
        EXPECT_EQ(h.command(kCapture), ":SD Card not initialized\r!\r");
    }
    {
        // Every name taken: nothing is overwritten.
        const std::string card = dir / "full";
        run("mkdir " + quote(card));
        for (int n = 0; n < 1000; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "/VOXA%04d.BMP", n);
            write_file(card + name, "kept");
        }
        Harness h(folder_card(sim::Panel::kWvga, card));
        h.boot();
        EXPECT_EQ(h.command(kCapture, 20000),
                  ":no free file name, VOXA0000.BMP to VOXA0999.BMP exist\r!\r");
        EXPECT_EQ(read_file(card + "/VOXA0999.BMP"), "kept");
        EXPECT_EQ(read_file(card + "/VOXA0000.BMP"), "kept");
    }
    const std::string image = dir / "card.img";
    ASSERT_EQ(run("mkfs.fat -C --invariant -F 16 -s 1 " + quote(image) + " 8192"), 0);
    {
        // The card refuses the first write: the directory entry of the new file.
        Harness h(image_card(image));
        h.boot();
        h.module().fail_sd_writes_from(1);
        EXPECT_EQ(h.command(kCapture, 20000), ":cannot create SD card file \"VOXA0000.BMP\".\r!\r");
    }
    {
        // The card takes the entry and a few sectors, then refuses: one message, the command
        // fails, and the part written stays as a file.
        Harness h(image_card(image));
        h.boot();
        h.module().fail_sd_writes_from(4);
        EXPECT_EQ(h.command(kCapture, 20000),
                  ":writing SD File VOXA0000.BMP:error writing BMP file\r\r!\r");
        h.module().fail_sd_writes_from(0);
        EXPECT_EQ(h.command("*ls"), "VOXA0000.BMP\r>\r");
        EXPECT_EQ(h.command(kCapture, 20000).substr(0, 29), ":writing SD File VOXA0001.BMP");
    }
    std::string log;
    EXPECT_TRUE(fsck_clean(image, &log)) << log;
}

// The module loses its power in the middle of a capture (a sector torn): it starts again, finds
// the card, lists the file cut short and captures the next one; a PC's disk check finds only
// the clusters the cut capture had taken.
TEST(ScreenCapture, PowerCutDuringACapture) {
    TempDir dir;
    const std::string image = dir / "card.img";
    ASSERT_EQ(run("mkfs.fat -C --invariant -F 16 -s 1 " + quote(image) + " 8192"), 0);
    write_file(dir / "keep", pattern(7000, 5));
    ASSERT_TRUE(mcopy_in(image, dir / "keep", "::/KEEP.BIN"));
    Harness h(image_card(image));
    h.boot();
    draw_test_screen(h);
    h.module().cut_power_at_sd_write(700, simlink::SdCut::kTorn);
    h.send(std::string(kCapture) + "\r");
    h.run_ms(2000);
    EXPECT_TRUE(h.module().power_cut());
    EXPECT_EQ(h.module().status(), sim::Module::Status::kOff);
    EXPECT_EQ(h.module().sd_writes(), 700u);

    h.boot();
    EXPECT_EQ(h.command("*ls"), "KEEP.BIN\rVOXA0000.BMP\r>\r");
    EXPECT_EQ(h.command(kCapture, 20000).substr(0, 29), ":writing SD File VOXA0001.BMP");
    h.module().power_off();

    std::string log;
    run("fsck.fat -n " + quote(image), &log);
    std::string unexpected;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const bool expected =
            line.empty() || line.rfind("fsck.fat ", 0) == 0 || line.rfind("Reclaimed ", 0) == 0 ||
            line == "Leaving filesystem unchanged." || line.rfind(image + ": ", 0) == 0;
        if (!expected) unexpected += line + "\n";
    }
    EXPECT_EQ(unexpected, "") << log;
    EXPECT_NE(log.find("Reclaimed "), std::string::npos) << "the cut capture's clusters";
    ASSERT_TRUE(mcopy_out(image, "::/KEEP.BIN", dir / "out"));
    EXPECT_EQ(read_file(dir / "out"), pattern(7000, 5));
    ASSERT_TRUE(mcopy_out(image, "::/VOXA0001.BMP", dir / "out"));
    EXPECT_EQ(read_file(dir / "out").size(), 768054u);
}

}  // namespace
}  // namespace voxa_test
