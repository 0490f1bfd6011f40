// imgpack: builds, lists and takes apart the module's bitmap/macro files.
//
//   imgpack build MANIFEST|MACROS.txt -o OUT.BIN [--for-flash2] [--no-names]
//   imgpack list FILE.BIN
//   imgpack extract FILE.BIN DIR
//   imgpack check FILE.BIN
//
// Exit codes: 0 done, 1 bad input (a text error, an unreadable file, a damaged file listed),
// 2 wrong usage.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "imgpack.h"
#include "media/ext_check.h"
#include "media/ext_mem_area.h"

namespace {

constexpr const char* kUsage =
    "usage: imgpack build MANIFEST -o OUT.BIN [--for-flash2] [--no-names]\n"
    "       imgpack build MACROS.txt -o OUT.BIN [--for-flash2] [--no-names]\n"
    "       imgpack list FILE.BIN\n"
    "       imgpack extract FILE.BIN DIR\n"
    "       imgpack check FILE.BIN\n"
    "       imgpack --help\n";

constexpr const char* kHelp =
    "imgpack builds, lists and takes apart bitmap/macro files (.BIN) for the VOXA5-PLUS\n"
    "display module.\n"
    "\n"
    "  imgpack build MANIFEST -o OUT.BIN\n"
    "      Builds a file of the records the manifest names, one per line in index order:\n"
    "      \"macros FILE.txt [nonames]\" (record 0 only), \"blank\",\n"
    "      \"bitmap FILE [plain|rle|auto] [key RRGGBB|alpha]\" (PNG, JPEG or BMP),\n"
    "      \"font NAME FILE.ttf SIZE [1bit|aa2|aa4] [mono] [line N base N]\" and\n"
    "      \"fontdata NAME FILE.sif [kind N]\" (docs/imgpack.md).\n"
    "  imgpack build MACROS.txt -o OUT.BIN\n"
    "      Builds a file holding only the macros of a macro text (its first line that is not\n"
    "      a comment starts with \"macro\").\n"
    "      --for-flash2        write locations as flash window addresses (0xC8400000 + offset)\n"
    "                          instead of offsets from the start of the file: the bytes a host\n"
    "                          programs into the window (--flash2-locations is the old name)\n"
    "      --no-names          leave out the name table: macros are then called by number only\n"
    "  imgpack list FILE.BIN\n"
    "      Prints the header, the records as the module's \"lsbmp\" does (bitmaps with their\n"
    "      descriptor) and the macros with their lines; says what is damaged in lines starting\n"
    "      with \"damaged:\".\n"
    "  imgpack extract FILE.BIN DIR\n"
    "      Writes DIR/voxa.manifest, a PNG per bitmap (transparent pixels with alpha 0), the\n"
    "      macro text and the font data, so that building the manifest gives the file again;\n"
    "      says on stderr when it would not (a file made by another tool).\n"
    "  imgpack check FILE.BIN\n"
    "      Checks the file with the module's own validator: a line per record the module\n"
    "      would refuse, and where the file can go (the SD card, the flash window).\n"
    "\n"
    "Exit status: 0 done, 1 bad input or a damaged file, 2 wrong usage.\n";

int usage(const std::string& message) {
    std::fprintf(stderr, "imgpack: %s\n%s", message.c_str(), kUsage);
    return 2;
}

int input_error(const std::string& message) {
    std::fprintf(stderr, "imgpack: %s\n", message.c_str());
    return 1;
}

int build(int argc, char** argv) {
    std::string input, output;
    imgpack::MacroFile file;
    bool flash2 = false, names = true;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "-o") {
            if (i + 1 >= argc) return usage("-o needs a file name");
            output = argv[++i];
        } else if (arg == "--for-flash2" || arg == "--flash2-locations") {
            flash2 = true;
        } else if (arg == "--no-names") {
            names = false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage("unknown option " + arg);
        } else if (input.empty()) {
            input = arg;
        } else {
            return usage("one input file only");
        }
    }
    if (input.empty()) return usage("build needs a manifest or a macro text file");
    if (output.empty()) return usage("build needs -o OUT.BIN");

    std::string text;
    if (!imgpack::read_file(input, &text)) return input_error(input + ": cannot read the file");
    std::string error;
    std::vector<uint8_t> image;
    if (imgpack::looks_like_macro_text(text)) {
        if (!imgpack::parse_text(text, &file, &error)) return input_error(input + ":" + error);
        file.flash2_locations = flash2;
        file.names = names;
        image = imgpack::build(file, nullptr, &error);
    } else {
        imgpack::ImageFile manifest;
        const std::string dir = std::filesystem::path(input).parent_path().string();
        if (!imgpack::parse_manifest(text, dir.empty() ? "." : dir, &manifest, &error)) {
            return input_error(input + ":" + error);
        }
        manifest.flash2_locations = flash2;
        for (imgpack::Record& r : manifest.records) {
            if (!names) r.macros.names = false;
        }
        for (const std::string& w : manifest.warnings) {
            std::fprintf(stderr, "imgpack: warning: %s:%s\n", input.c_str(), w.c_str());
        }
        image = imgpack::build(manifest, nullptr, &error);
    }
    if (image.empty()) return input_error(input + ": " + error);

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    out.close();
    if (!out) return input_error(output + ": cannot write the file");
    return 0;
}

int list(int argc, char** argv) {
    if (argc != 3) return usage("list needs exactly one file");
    const std::string path = argv[2];
    std::string bytes;
    if (!imgpack::read_file(path, &bytes)) return input_error(path + ": cannot read the file");
    bool damaged = false;
    const std::string text =
        imgpack::list(std::vector<uint8_t>(bytes.begin(), bytes.end()), &damaged);
    std::fputs(text.c_str(), stdout);
    if (damaged) return input_error(path + ": the file is damaged");
    return 0;
}

int extract(int argc, char** argv) {
    if (argc != 4) return usage("extract needs a file and a folder");
    const std::string path = argv[2], dir = argv[3];
    std::string bytes, notes, error;
    if (!imgpack::read_file(path, &bytes)) return input_error(path + ": cannot read the file");
    bool flash2 = false;
    if (!imgpack::extract(std::vector<uint8_t>(bytes.begin(), bytes.end()), dir, &flash2, &notes,
                          &error)) {
        return input_error(path + ": " + error);
    }
    size_t pos = 0;
    while (pos < notes.size()) {
        const size_t eol = notes.find('\n', pos);
        std::fprintf(stderr, "imgpack: note: %s\n", notes.substr(pos, eol - pos).c_str());
        pos = eol + 1;
    }
    if (flash2) {
        std::fprintf(stderr,
                     "imgpack: %s holds flash window addresses: build it again with "
                     "--for-flash2\n",
                     path.c_str());
    }
    return 0;
}

// What the module would make of the file: the validator the firmware runs when it loads one.
int check(int argc, char** argv) {
    if (argc != 3) return usage("check needs exactly one file");
    const std::string path = argv[2];
    std::string bytes;
    if (!imgpack::read_file(path, &bytes)) return input_error(path + ": cannot read the file");
    if (bytes.size() > imgpack::kMaxFileSize) {
        return input_error(path + ": " + std::to_string(bytes.size()) +
                           " bytes, more than the module's 29097984");
    }
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = uint32_t(bytes.size());
    struct Reports {
        std::string path;
        int lines = 0;
    } reports{path};
    const int refused = ExtMem_CheckImage(
        data, length, kExtMemRamAddress,
        [](void* ctx, int index, const char* reason) {
            auto* r = static_cast<Reports*>(ctx);
            if (index < 0) {
                std::printf("%s: refused: %s\n", r->path.c_str(), reason);
            } else {
                std::printf("%s: record %d refused: %s\n", r->path.c_str(), index, reason);
            }
            ++r->lines;
        },
        &reports);
    if (refused < 0) return 1;
    const uint32_t size = uint32_t(uint8_t(bytes[4])) | uint32_t(uint8_t(bytes[5])) << 8 |
                          uint32_t(uint8_t(bytes[6])) << 16 | uint32_t(uint8_t(bytes[7])) << 24;
    const int records = uint8_t(bytes[2]) | uint8_t(bytes[3]) << 8;
    // The card's loader compares the header's size with the file's length; the flash window
    // holds whatever follows the file, so there only the records count.
    const bool card = size == length;
    const bool window = ExtCheck_WindowLocations(data);
    std::printf("%s: %d records, %d refused\n", path.c_str(), records, refused);
    std::printf("%s: SD card: %s\n", path.c_str(),
                card ? "yes" : "no (the header's size differs from the file's length)");
    std::printf("%s: flash window (--flash2, xmp, bdld): %s\n", path.c_str(),
                window ? "yes" : "no (built with offsets: build it with --for-flash2)");
    return refused == 0 && card ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage("no command");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        std::fputs("\n", stdout);
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "build") return build(argc, argv);
    if (command == "list") return list(argc, argv);
    if (command == "extract") return extract(argc, argv);
    if (command == "check") return check(argc, argv);
    return usage("unknown command " + command);
}
