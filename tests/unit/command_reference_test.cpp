// The command reference (src/command/command_reference.h) and docs/commands.md against the
// chain itself: a row without its entry, an entry without its row, a document heading or index
// line that names no row, an entry that calls a built command unavailable (or the reverse), and
// a documented example that another row takes all fail here.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command/chain.h"
#include "command/command_reference.h"
#include "command/parse_command.h"
#include "image_builder.h"
#include "in_process.h"
#include "media/ext_image.h"

namespace voxa_test {
namespace {

const std::string kAvailabilityMark =
    "**Not available yet in this firmware version: answers `!`.**";

// One command entry of the document: its heading and the lines up to the next heading.
struct DocEntry {
    int number;
    std::string syntax;
    std::string section;
    int line;  // of the heading, 1-based
    std::vector<std::string> body;
};

// One line of the index table.
struct IndexLine {
    int number;
    std::string syntax, summary, section, today;
    int line;
};

struct Document {
    std::vector<DocEntry> entries;
    std::vector<IndexLine> index;
    std::vector<std::string> problems;  // headings and index lines that name no row
};

std::vector<std::string> split_cells(const std::string& row) {
    // Cells are separated by '|' that is not escaped; "\|" stands for '|' inside a cell.
    std::vector<std::string> cells;
    std::string cell;
    for (size_t i = 1; i < row.size(); ++i) {
        if (row[i] == '\\' && i + 1 < row.size() && row[i + 1] == '|') {
            cell += '|';
            ++i;
        } else if (row[i] == '|') {
            cells.push_back(cell);
            cell.clear();
        } else {
            cell += row[i];
        }
    }
    for (std::string& c : cells) {
        const size_t first = c.find_first_not_of(' ');
        const size_t last = c.find_last_not_of(' ');
        c = first == std::string::npos ? "" : c.substr(first, last - first + 1);
    }
    return cells;
}

std::string unquote_code(const std::string& cell) {
    if (cell.size() >= 2 && cell.front() == '`' && cell.back() == '`') {
        return cell.substr(1, cell.size() - 2);
    }
    return cell;
}

Document read_document(const std::string& text) {
    static const std::regex kHeading(R"(^### (\d+)\. `([^`]+)`$)");
    static const std::regex kIndexLine(R"(^\| \d+ \|.*)");
    Document doc;
    std::istringstream in(text);
    std::string line, section;
    DocEntry* current = nullptr;
    for (int number = 1; std::getline(in, line); ++number) {
        std::smatch m;
        if (line.rfind("## ", 0) == 0) {
            section = line.substr(3);
            current = nullptr;
        } else if (line.rfind("### ", 0) == 0) {
            if (!std::regex_match(line, m, kHeading)) {
                doc.problems.push_back("line " + std::to_string(number) +
                                       ": a heading that names no row: " + line);
                current = nullptr;
                continue;
            }
            doc.entries.push_back(DocEntry{std::stoi(m[1]), m[2], section, number, {}});
            current = &doc.entries.back();
        } else if (std::regex_match(line, kIndexLine)) {
            const std::vector<std::string> cells = split_cells(line);
            if (cells.size() != 5) {
                doc.problems.push_back("line " + std::to_string(number) +
                                       ": an index line without five cells: " + line);
                continue;
            }
            doc.index.push_back(IndexLine{std::stoi(cells[0]), unquote_code(cells[1]), cells[2],
                                          cells[3], cells[4], number});
        } else if (current) {
            current->body.push_back(line);
        }
    }
    return doc;
}

std::string read_file(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

const Document& document() {
    static const Document doc = read_document(read_file(VOXA_COMMANDS_DOC));
    return doc;
}

// The names a row lists ("xs/xsnb/xt", "cc/cr/cd..."), without the trailing dots.
std::vector<std::string> row_names(const std::string& name) {
    // The comment row's name is two slashes, not two separators.
    if (name == "//") return {name};
    std::vector<std::string> names;
    std::stringstream parts(name);
    for (std::string part; std::getline(parts, part, '/');) {
        while (!part.empty() && part.back() == '.') part.pop_back();
        if (!part.empty()) names.push_back(part);
    }
    return names;
}

TEST(CommandReference, HasOneEntryPerChainRowInChainOrder) {
    const size_t n = std::min(kChainLength, kCommandReferenceLength);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_STREQ(kCommandReference[i].row, kChain[i].name) << "row " << i + 1;
    }
    for (size_t i = n; i < kChainLength; ++i) {
        ADD_FAILURE() << "row " << i + 1 << " (" << kChain[i].name << ") has no reference entry";
    }
    for (size_t i = n; i < kCommandReferenceLength; ++i) {
        ADD_FAILURE() << "reference entry " << i + 1 << " (" << kCommandReference[i].row
                      << ") names no row of the chain";
    }
}

TEST(CommandReference, EachSyntaxWritesTheKeywordsItsRowNames) {
    for (size_t i = 0; i < kCommandReferenceLength; ++i) {
        const CommandReference& e = kCommandReference[i];
        const std::string syntax = e.syntax;
        EXPECT_FALSE(syntax.empty()) << e.row;
        EXPECT_NE(std::string(e.summary), "") << e.row;
        // The syntax is printed between backquotes in the document.
        EXPECT_EQ(syntax.find('`'), std::string::npos) << e.row;
        for (const std::string& name : row_names(e.row)) {
            EXPECT_NE(syntax.find(name), std::string::npos)
                << "entry " << i + 1 << ": the syntax \"" << syntax << "\" never writes " << name;
        }
    }
}

TEST(CommandDocument, HasOneHeadingPerRowWithItsSyntaxInChainOrderWithinEachSection) {
    const Document& doc = document();
    for (const std::string& problem : doc.problems) ADD_FAILURE() << problem;
    std::map<int, int> seen;
    std::map<std::string, int> last_in_section;
    for (const DocEntry& e : doc.entries) {
        const std::string where = "docs/commands.md:" + std::to_string(e.line);
        if (e.number < 1 || size_t(e.number) > kCommandReferenceLength) {
            ADD_FAILURE() << where << ": heading of row " << e.number << ", which does not exist";
            continue;
        }
        EXPECT_EQ(e.syntax, kCommandReference[e.number - 1].syntax)
            << where << ": row " << e.number << " is written "
            << kCommandReference[e.number - 1].syntax;
        if (++seen[e.number] > 1) ADD_FAILURE() << where << ": row " << e.number << " again";
        int& last = last_in_section[e.section];
        EXPECT_GT(e.number, last) << where << ": row " << e.number << " after row " << last
                                  << " in section " << e.section;
        last = e.number;
    }
    for (size_t i = 1; i <= kCommandReferenceLength; ++i) {
        EXPECT_EQ(seen.count(int(i)), 1u)
            << "docs/commands.md has no heading for row " << i << ": ### " << i << ". `"
            << kCommandReference[i - 1].syntax << "`";
    }
}

TEST(CommandDocument, MarksNoCommandUnavailable) {
    for (const DocEntry& e : document().entries) {
        for (const std::string& line : e.body) {
            EXPECT_NE(line, kAvailabilityMark)
                << "docs/commands.md:" << e.line << ": row " << e.number << " is built";
        }
    }
}

TEST(CommandDocument, IndexListsEveryRowInChainOrder) {
    const Document& doc = document();
    std::map<int, std::string> section_of;
    for (const DocEntry& e : doc.entries) section_of[e.number] = e.section;
    ASSERT_EQ(doc.index.size(), kCommandReferenceLength) << "index lines";
    for (size_t i = 0; i < doc.index.size(); ++i) {
        const IndexLine& x = doc.index[i];
        const CommandReference& e = kCommandReference[i];
        const std::string where = "docs/commands.md:" + std::to_string(x.line);
        const std::string expected_today = "yes";
        EXPECT_EQ(x.number, int(i) + 1) << where;
        EXPECT_EQ(x.syntax, e.syntax) << where;
        EXPECT_EQ(x.summary, e.summary) << where;
        EXPECT_EQ(x.section, section_of[int(i) + 1]) << where;
        EXPECT_EQ(x.today, expected_today) << where;
    }
}

// ---------------------------------------------------------------------------------------------
// The examples: each is taken by the row it documents.

class CommandExamples : public ::testing::Test {
  protected:
    // The examples that draw stored bitmaps find three small ones in the current file.
    void SetUp() override {
        start_firmware_in_process();
        ImageBuilder b;
        b.add(3, {});
        for (int i = 0; i < 3; ++i) {
            b.addBitmap(1, 8, 8, ImageBuilder::pixels(std::vector<uint16_t>(64, 0xF800)));
        }
        image_ = b.build();
        KV_ExtMem_SetImage(image_.data(), uint32_t(image_.size()), kFlash2Address);
    }
    void TearDown() override { KV_ExtMem_Init(); }
    std::vector<uint8_t> image_;
};

std::string example_of(const DocEntry& e) {
    static const std::regex kExample(R"(^- Example: `([^`]+)`.*)");
    std::string found;
    int count = 0;
    for (const std::string& line : e.body) {
        std::smatch m;
        if (std::regex_match(line, m, kExample)) {
            found = m[1];
            ++count;
        }
    }
    EXPECT_EQ(count, 1) << "docs/commands.md:" << e.line << ": one example per entry";
    return found;
}

struct ExampleRun {
    int result;
    int row;  // 1-based, 0 when no row took the line
    std::string output;
};

ExampleRun run_example(const std::string& text, bool addressed) {
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    if (text.rfind("*RESET", 0) == 0 || text.rfind("*MFGRESET", 0) == 0) {
        // The restart ends a copy of the board; only which row got there comes back.
        const auto ending =
            sim::Standalone::instance().run_isolated([&] { return parse_command(line.data()); },
                                                     [] { return parse_command_last_row() + 1; });
        EXPECT_TRUE(ending.reset()) << text << ": " << ending.why;
        return {-1, ending.value, ""};
    }
    // The interactive timing modes wait for a key from the host: an ESC sent first ends them.
    if (text.rfind("*paneladj", 0) == 0 || text.rfind("*touchadj", 0) == 0) {
        sim::Standalone::instance().send(hostPort(), "\x1b");
    }
    // Examples change ports and settings; each starts from the same state.
    const EepromData settings = eepromData;
    if (addressed) eepromData.rs485Mode = kPortFlagOn;
    const int result = parse_command(line.data());
    const int row = parse_command_last_row() + 1;
    const std::string output = host_output();
    eepromData = settings;
    Init_485mode();
    makeUart0Main();
    KV_COM_BaudRate(115200);
    KV_AUX_BaudRate(115200);
    host_output();
    return {result, row, output};
}

TEST_F(CommandExamples, EachIsTakenByItsRow) {
    for (const DocEntry& e : document().entries) {
        if (e.number < 1 || size_t(e.number) > kChainLength) continue;
        const std::string example = example_of(e);
        if (example.empty()) continue;
        const size_t row = size_t(e.number - 1);
        // The poll is a command only in RS-485 addressed mode.
        const bool addressed = std::strcmp(kChain[row].name, "Q") == 0;
        const ExampleRun r = run_example(example, addressed);
        EXPECT_EQ(r.row, e.number) << "docs/commands.md:" << e.line << ": " << example;
    }
}

}  // namespace
}  // namespace voxa_test
