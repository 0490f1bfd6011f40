// Power cut during every sector write of the card's two writers, the write test file ("fopen",
// which replaces its file) and the screen capture (a new file in a directory that must grow):
// after each cut the card mounts again, fsck.fat finds nothing beyond what the one file being
// written may leave, and every other file is intact byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string_view>

#include "core/screen_capture.h"
#include "fat_test_util.h"
#include "fs/sd_commands.h"
#include "gui/gui.h"
#include "in_process.h"
#include "test_screen.h"

namespace voxa_test {
namespace {

using simlink::SdCut;

const char* cut_name(SdCut mode) {
    switch (mode) {
        case SdCut::kWritten:
            return "written";
        case SdCut::kNotWritten:
            return "not written";
        default:
            return "torn";
    }
}

// The FATs of an unpartitioned FAT12 or FAT16 image.
struct Fat {
    int bits;
    size_t fat_offset;
    size_t fat_bytes;
    int fat_count;
    Fat(const std::vector<uint8_t>& image, int fat_bits) : bits(fat_bits) {
        const auto u16 = [&](size_t at) { return size_t(image[at] | (image[at + 1] << 8)); };
        fat_offset = u16(14) * 512;
        fat_bytes = u16(22) * 512;
        fat_count = image[16];
    }
    // Clusters whose entries the FAT holds.
    uint32_t entries() const { return uint32_t(fat_bytes * 8 / uint32_t(bits)); }
    uint32_t end_mark() const { return bits == 12 ? 0xFF8 : 0xFFF8; }
    uint32_t entry(const std::vector<uint8_t>& image, int copy, uint32_t cluster) const {
        const size_t base = fat_offset + size_t(copy) * fat_bytes;
        if (bits == 16) {
            const size_t at = base + cluster * 2;
            return uint32_t(image[at] | (image[at + 1] << 8));
        }
        const size_t at = base + cluster + cluster / 2;
        const uint32_t v = uint32_t(image[at] | (image[at + 1] << 8));
        return cluster & 1 ? v >> 4 : v & 0xFFF;
    }
};

struct Sweep;
std::set<uint32_t> clusters_of(const std::string& image, const std::string& path);

struct Fixture {
    std::vector<uint8_t> base;                 // the card before the command
    std::map<std::string, std::string> files;  // path -> content, every file on it
};

class SdPowerCut : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { start_firmware_in_process(); }
    void TearDown() override {
        board().power_on_again();
        board().faults() = simlink::Faults{};
        eject();
    }

    // A card of 512-byte clusters (FAT16: 4 MB, FAT12: 2 MB): files in the root, MYTEST.INI to
    // be replaced, and PHOTOS, whose first cluster is full, so that a new entry there grows the
    // directory.
    void make_card(int bits = 16) {
        bits_ = bits;
        const std::string image = dir_ / "card.img";
        ASSERT_TRUE(mkfs(image, {bits, bits == 16 ? 4096 : 2048, 1}));
        const auto put = [&](const std::string& path, const std::string& data) {
            write_file(dir_ / "src", data);
            ASSERT_TRUE(mcopy_in(image, dir_ / "src", "::/" + path));
            fixture_.files[path] = data;
        };
        // A used card: the free clusters that the commands will take first hold a deleted
        // file's bytes, not zeros, so that a cluster linked before it is cleared shows.
        write_file(dir_ / "src", pattern(900000, 99));
        ASSERT_TRUE(mcopy_in(image, dir_ / "src", "::/OLD.BIN"));
        put("README.TXT", "the card of the power-cut sweep\r\n");
        put("DATA.BIN", pattern(5000, 1));
        put("MYTEST.INI", pattern(3000, 2));
        ASSERT_TRUE(mmd(image, "::/PHOTOS"));
        // "." and ".." and 14 files: the 16 entries of one 512-byte cluster.
        for (int i = 0; i < 14; ++i) {
            put("PHOTOS/P" + std::to_string(i) + ".DAT", pattern(size_t(100 + 700 * i), 10 + i));
        }
        put("BIG.BIN", pattern(40000, 3));
        ASSERT_TRUE(mdel(image, "::/OLD.BIN"));
        std::string log;
        ASSERT_TRUE(fsck_clean(image, &log)) << log;
        const std::string bytes = read_file(image);
        fixture_.base.assign(bytes.begin(), bytes.end());
    }

    // The card as it was before the command, mounted, in directory dir.
    void insert_fresh(const std::string& dir) {
        card_ = fixture_.base;
        board().insert_sd_memory(card_.data(), card_.size());
        ASSERT_EQ(initialize_media(), 1) << "mount failed, error " << SD_lastError();
        if (!dir.empty()) {
            ASSERT_EQ(SD_chdir(dir.c_str()), 0);
        }
    }

    // Runs the command (its result ignored: a cut command fails) and drops its replies.
    void run_writer(bool capture) {
        char line[32];
        std::strcpy(line, capture ? "*getScreenAsBMPFile" : "fopen");
        if (capture)
            row_screen_capture(line);
        else
            row_fopen(line);
        host_output();
    }

    // Sector writes of one run of the command, with no cut.
    uint64_t count_writes(bool capture, const std::string& dir) {
        insert_fresh(dir);
        board().cut_power_at_sd_write(0, SdCut::kWritten);
        run_writer(capture);
        return board().faults().sd_writes;
    }

    // The card after a cut during write n: checks it and returns what is wrong, empty if
    // nothing. written: the name of the file the command writes (a path on the card).
    std::string check_after_cut(bool capture, const std::string& dir, uint64_t n, SdCut mode,
                                const std::string& written) {
        insert_fresh(dir);
        board().cut_power_at_sd_write(n, mode);
        run_writer(capture);
        if (!board().power_lost()) return "the power was not cut";
        // Power on again: the firmware starts from nothing and mounts the card it finds.
        board().power_on_again();
        FS_Unmount();
        board().insert_sd_memory(card_.data(), card_.size());
        if (initialize_media() != 1) return "no mount, error " + std::to_string(SD_lastError());
        std::string problems;
        for (const auto& [path, data] : fixture_.files) {
            if (path == written) continue;
            const size_t slash = path.find('/');
            SD_chdir("/");
            if (slash != std::string::npos) SD_chdir(path.substr(0, slash).c_str());
            const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
            if (!same_bytes(fw_read(name.c_str()), data)) problems += path + " changed; ";
        }
        problems += fat_problems();
        // fsck.fat reads the boot sector, the FATs and the directories, never what a file
        // holds: two cards that differ only in the written file's data sectors get the same
        // verdict, and one run of it per distinct rest is enough (most cut points fall among
        // the data writes, where the rest does not change from one to the next).
        const uint64_t key = card_key();
        if (!fsck_passed_.count(key)) {
            const std::string fsck = fsck_problems(written);
            if (fsck.empty()) fsck_passed_.insert(key);
            problems += fsck;
        }
        return problems;
    }

    // The FAT entries the command may change, in either copy: clusters that were free, those
    // of the file being replaced, and the last cluster of the directory written into (which a
    // new cluster of that directory is linked behind). Any other change damages another file.
    std::string fat_problems() {
        const Fat g(card_, bits_);
        for (int copy = 0; copy < g.fat_count; ++copy) {
            for (uint32_t c = 2; c < g.entries(); ++c) {
                if (g.entry(card_, copy, c) == g.entry(fixture_.base, copy, c)) continue;
                if (g.entry(fixture_.base, copy, c) == 0 || changeable_.count(c)) continue;
                return "FAT " + std::to_string(copy + 1) + " changed at cluster " +
                       std::to_string(c) + ", which another file holds; ";
            }
        }
        return "";
    }

    // The clusters of a chain in the card before the command.
    void allow_chain(uint32_t first) {
        const Fat g(fixture_.base, bits_);
        for (uint32_t c = first; c >= 2 && c < g.end_mark() && changeable_.insert(c).second;) {
            c = g.entry(fixture_.base, 0, c);
        }
    }

    // fsck.fat -n on the card. Accepted, besides its banner, blank lines, "Leaving filesystem
    // unchanged." and the summary:
    // - "FATs differ but appear to be intact." / "  Using first FAT.": a cut between the writes
    //   of the two copies (fat_problems has checked where they differ);
    // - "Reclaimed N unused clusters (...).": clusters that the written file took, or that the
    //   replaced file gave up, which no entry holds yet or any more (fat_problems again);
    // - the written file itself, "/PATH", with only the remarks of a size its chain does not
    //   match ("  File size is ...", "  Truncating file to ..."): a chain reaching a free
    //   cluster, or one shared with another file, is damage even there.
    // Anything else, including any other file named, is damage.
    std::string fsck_problems(const std::string& written) {
        const std::string image = dir_ / "cut.img";
        write_file(image, std::string(card_.begin(), card_.end()));
        std::string log;
        run("fsck.fat -n " + quote(image), &log);
        std::istringstream lines(log);
        std::string line, bad;
        bool in_written = false, differ = false;
        for (int n = 1; std::getline(lines, line); ++n) {
            const bool size_remark = line.rfind("  File size is ", 0) == 0 ||
                                     line.rfind("  Truncating file to ", 0) == 0;
            if (in_written && size_remark) continue;
            in_written = false;
            if (differ && line == "  Using first FAT.") continue;
            differ = line == "FATs differ but appear to be intact.";
            if (differ || line.empty() || line == "Leaving filesystem unchanged.") continue;
            if (n == 1 && line.rfind("fsck.fat ", 0) == 0) continue;
            if (line.rfind(image + ": ", 0) == 0 && line.find(" clusters") != std::string::npos)
                continue;
            if (line.rfind("Reclaimed ", 0) == 0 &&
                line.find(" unused cluster") != std::string::npos)
                continue;
            if (line == "/" + written) {
                in_written = true;
                continue;
            }
            bad += "fsck: " + line + "; ";
        }
        return bad.empty() ? bad : bad + "\n" + log;
    }

    Sweep sweep(bool capture, const std::string& dir, const std::string& written);

    // Sector of cluster 2.
    static uint32_t data_sector(const std::vector<uint8_t>& image) {
        const auto u16 = [&](size_t at) { return uint32_t(image[at] | (image[at + 1] << 8)); };
        return u16(14) + image[16] * u16(22) + (u16(17) * 32 + 511) / 512;
    }
    uint32_t first_cluster_of(const std::string& path) {
        const std::string image = dir_ / "base.img";
        write_file(image, std::string(fixture_.base.begin(), fixture_.base.end()));
        const std::set<uint32_t> c = clusters_of(image, path);
        return c.empty() ? 0 : *c.begin();
    }

    TempDir dir_;
    Fixture fixture_;
    std::vector<uint8_t> card_;
    int bits_ = 16;
    std::set<uint32_t> changeable_;
    std::vector<bool> file_data_;     // per sector: data of the file the command writes
    std::set<uint64_t> fsck_passed_;  // card_key() of the cards fsck.fat found sound

    // A hash of the card with the written file's data sectors left out.
    uint64_t card_key() const {
        uint64_t h = 0;
        for (size_t sector = 0; sector < card_.size() / 512; ++sector) {
            if (sector < file_data_.size() && file_data_[sector]) continue;
            const std::string_view bytes(reinterpret_cast<const char*>(card_.data()) + sector * 512,
                                         512);
            h = (h * 1099511628211ull) ^ std::hash<std::string_view>{}(bytes) ^ sector;
        }
        return h;
    }
};

// A sweep over every sector write of one command.
struct Sweep {
    uint64_t writes = 0;  // of the command without a cut
    int runs = 0;         // cut points run
    double seconds = 0;
    std::string failures;
};

// Clusters of a file on an image, as mtools lists them ("<2-5> <9>").
std::set<uint32_t> clusters_of(const std::string& image, const std::string& path) {
    std::string out;
    run("mshowfat -i " + quote(image) + " " + quote("::/" + path), &out);
    std::set<uint32_t> clusters;
    for (size_t at = out.find('<'); at != std::string::npos; at = out.find('<', at + 1)) {
        size_t end = 0;
        const uint32_t a = uint32_t(std::stoul(out.substr(at + 1), &end));
        const bool range = out[at + 1 + end] == '-';
        const uint32_t b = range ? uint32_t(std::stoul(out.substr(at + 2 + end))) : a;
        for (uint32_t c = a; c <= b; ++c) clusters.insert(c);
    }
    return clusters;
}

}  // namespace

// Every cut point in each of the three modes.
Sweep SdPowerCut::sweep(bool capture, const std::string& dir, const std::string& written) {
    Sweep s;
    const auto t0 = std::chrono::steady_clock::now();
    s.writes = count_writes(capture, dir);
    const std::string final_image = dir_ / "final.img";
    write_file(final_image, std::string(card_.begin(), card_.end()));
    const uint32_t data_start = data_sector(card_);
    file_data_.assign(card_.size() / 512, false);
    for (const uint32_t c : clusters_of(final_image, written)) {
        file_data_[data_start + c - 2] = true;  // clusters of one sector
    }
    for (uint64_t n = 1; n <= s.writes; ++n) {
        for (const SdCut mode : {SdCut::kNotWritten, SdCut::kWritten, SdCut::kTorn}) {
            const std::string why = check_after_cut(capture, dir, n, mode, written);
            ++s.runs;
            if (why.empty()) continue;
            // Every failing cut point on a line of its own; only the first with the whole story.
            const std::string point =
                "cut at write " + std::to_string(n) + " (" + cut_name(mode) + ")";
            s.failures += point + ": " + (s.failures.empty() ? why : why.substr(0, 120)) + "\n";
        }
    }
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return s;
}

TEST_F(SdPowerCut, WriteTestFileSurvivesACutAtEverySectorWrite) {
    make_card();
    allow_chain(first_cluster_of("MYTEST.INI"));
    const Sweep s = sweep(false, "", "MYTEST.INI");
    EXPECT_GE(s.writes, 20u) << "twenty data sectors at least";
    EXPECT_EQ(s.failures, "");
    std::printf("fopen: %llu sector writes, %d cut points run in %.1f s\n",
                (unsigned long long)s.writes, s.runs, s.seconds);
}

// FAT12 entries take a byte and a half, so some straddle two FAT sectors, and a torn sector
// can hold half of one.
TEST_F(SdPowerCut, WriteTestFileOnFat12SurvivesACutAtEverySectorWrite) {
    make_card(12);
    allow_chain(first_cluster_of("MYTEST.INI"));
    const Sweep s = sweep(false, "", "MYTEST.INI");
    EXPECT_GE(s.writes, 20u);
    EXPECT_EQ(s.failures, "");
    std::printf("fopen on FAT12: %llu sector writes, %d cut points run in %.1f s\n",
                (unsigned long long)s.writes, s.runs, s.seconds);
}

TEST_F(SdPowerCut, ScreenCaptureSurvivesACutAtEverySectorWrite) {
    make_card();
    TestScreen screen;
    screen.open(kWvgaScreen, 0);
    const GUI_DISPLAY display = screen.display();
    ASSERT_EQ(GUI_Init(&display), 0);
    GUI_SetBkColor(0x203040);
    GUI_Clear();
    GUI_SetColor(0x00C0FF);
    GUI_FillCircle(400, 240, 150);
    allow_chain(first_cluster_of("PHOTOS"));
    const Sweep s = sweep(true, "PHOTOS", "PHOTOS/VOXA0000.BMP");
    EXPECT_GE(s.writes, 768054u / 512) << "the file's sectors at least";
    EXPECT_EQ(s.failures, "");
    std::printf("capture: %llu sector writes, %d cut points run in %.1f s\n",
                (unsigned long long)s.writes, s.runs, s.seconds);
}

}  // namespace voxa_test

namespace voxa_test {
namespace {

// The simulated card's cut itself, on both kinds of image card: the sector stored whole, kept
// or torn after 256 bytes, and from then on no transfer until the power comes back.
TEST(SimulatedSdPowerCut, EachModeLeavesItsSectorAndThenTheCardIsDead) {
    TempDir dir;
    const std::string path = dir / "card.img";
    const std::vector<uint8_t> old_bytes(512, 0x11), new_bytes(512, 0x22);
    for (const bool in_file : {false, true}) {
        for (const SdCut mode : {SdCut::kWritten, SdCut::kNotWritten, SdCut::kTorn}) {
            SCOPED_TRACE(std::string(in_file ? "file, " : "memory, ") + cut_name(mode));
            std::vector<uint8_t> memory(64 * 512, 0x11);
            if (in_file) {
                write_file(path, std::string(memory.begin(), memory.end()));
                board().insert_sd_image(path);
            } else {
                board().insert_sd_memory(memory.data(), memory.size());
            }
            ASSERT_EQ(sd_card_init(), 1);
            board().cut_power_at_sd_write(2, mode);
            EXPECT_EQ(sd_write_sector(5, new_bytes.data()), 1) << "the first write is done";
            EXPECT_EQ(sd_write_sector(6, new_bytes.data()), 0) << "the card never answers";
            EXPECT_TRUE(board().power_lost());
            std::vector<uint8_t> got(512);
            EXPECT_EQ(sd_read_sector(5, got.data()), 0);
            EXPECT_EQ(sd_write_sector(7, new_bytes.data()), 0);
            EXPECT_EQ(sd_card_init(), 0);

            board().power_on_again();
            ASSERT_EQ(sd_card_init(), 1);
            ASSERT_EQ(sd_read_sector(6, got.data()), 1);
            const size_t fresh = mode == SdCut::kWritten ? 512 : mode == SdCut::kTorn ? 256 : 0;
            for (size_t i = 0; i < 512; ++i) {
                ASSERT_EQ(got[i], i < fresh ? 0x22 : 0x11) << "byte " << i;
            }
            ASSERT_EQ(sd_read_sector(7, got.data()), 1);
            EXPECT_EQ(got, old_bytes) << "nothing written after the cut";
            ASSERT_EQ(sd_read_sector(5, got.data()), 1);
            EXPECT_EQ(got, new_bytes);
            EXPECT_EQ(board().faults().sd_writes, 2u) << "the write without power reached no card";
            board().faults() = simlink::Faults{};
            board().remove_sd();
        }
    }
}

}  // namespace
}  // namespace voxa_test
