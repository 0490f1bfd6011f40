// imgpack: builds and lists the module's bitmap/macro files.
//
//   imgpack build MANIFEST|MACROS.txt -o OUT.BIN [--flash2-locations] [--no-names]
//   imgpack list FILE.BIN
//
// Exit codes: 0 done, 1 bad input (a text error, an unreadable file, a damaged file listed),
// 2 wrong usage.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "imgpack.h"

namespace {

constexpr const char* kUsage =
    "usage: imgpack build MANIFEST -o OUT.BIN [--flash2-locations] [--no-names]\n"
    "       imgpack build MACROS.txt -o OUT.BIN [--flash2-locations] [--no-names]\n"
    "       imgpack list FILE.BIN\n"
    "       imgpack --help\n";

constexpr const char* kHelp =
    "imgpack builds and lists bitmap/macro files (.BIN) for the VOXA5-PLUS display module.\n"
    "\n"
    "  imgpack build MANIFEST -o OUT.BIN\n"
    "      Builds a file of the records the manifest names, one per line in index order:\n"
    "      \"macros FILE.txt\" (record 0 only), \"blank\" and\n"
    "      \"bitmap FILE.png [plain|rle|auto] [key RRGGBB|alpha]\" (docs/imgpack.md).\n"
    "  imgpack build MACROS.txt -o OUT.BIN\n"
    "      Builds a file holding only the macros of a macro text (its first line that is not\n"
    "      a comment starts with \"macro\").\n"
    "      --flash2-locations  write locations as flash window addresses (0xC8400000 + offset)\n"
    "                          instead of offsets from the start of the file\n"
    "      --no-names          leave out the name table: macros are then called by number only\n"
    "  imgpack list FILE.BIN\n"
    "      Prints the header, the records as the module's \"lsbmp\" does (bitmaps with their\n"
    "      descriptor) and the macros with their lines; says what is damaged in lines starting\n"
    "      with \"damaged:\".\n"
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
        } else if (arg == "--flash2-locations") {
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
    return usage("unknown command " + command);
}
