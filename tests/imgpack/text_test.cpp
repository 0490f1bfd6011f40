// The macro text format: what becomes of the lines, and the errors with their line numbers.
#include <gtest/gtest.h>

#include <cstring>

#include "imgpack.h"

namespace {

using imgpack::MacroFile;

TEST(ImgpackText, BlocksBecomeMacros) {
    const char* text =
        "# panel macros\r\n"
        "// also a comment\n"
        "\n"
        "macro 2 start   # the power-on macro\n"
        "    z\n"
        "\tt \"Hi  there\" 10 10   \r\n"
        "    # a note that is not written\n"
        "\n"
        "    // kept: the module skips it\n"
        "    :x130\n"
        "  end\n"
        "macro 4\n"
        "  endless loop\n"
        "end // done\n"
        "   \n"
        "macro 5 _five\n"
        "end";
    MacroFile f;
    std::string error;
    ASSERT_TRUE(imgpack::parse_text(text, &f, &error)) << error;
    ASSERT_EQ(f.macros.size(), 5u);
    EXPECT_EQ(f.macros[1].name, "start");
    EXPECT_EQ(f.macros[1].lines,
              (std::vector<std::string>{"z", "t \"Hi  there\" 10 10", "",
                                        "// kept: the module skips it", ":x130"}));
    // Missing numbers are empty unnamed macros.
    for (size_t k : {0, 2}) {
        EXPECT_TRUE(f.macros[k].name.empty());
        EXPECT_TRUE(f.macros[k].lines.empty());
    }
    EXPECT_EQ(f.macros[3].name, "");
    EXPECT_EQ(f.macros[3].lines, std::vector<std::string>{"endless loop"});
    EXPECT_EQ(f.macros[4].name, "_five");
    EXPECT_TRUE(f.macros[4].lines.empty());
    EXPECT_TRUE(f.names);
    EXPECT_FALSE(f.flash2_locations);

    // A line of exactly the module's limit is taken; an empty text gives no macros.
    const std::string longest = "macro 1\n" + std::string(128, 'w') + "\nend\n";
    ASSERT_TRUE(imgpack::parse_text(longest, &f, &error)) << error;
    EXPECT_EQ(f.macros[0].lines[0].size(), 128u);
    ASSERT_TRUE(imgpack::parse_text("", &f, &error));
    EXPECT_TRUE(f.macros.empty());
}

TEST(ImgpackText, ErrorsNameTheirLine) {
    struct Case {
        std::string text;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"z\n", "1: expected \"macro NUMBER [NAME]\", a comment or a blank line"},
        {"\n\nmacros 1\nend\n", "3: expected \"macro NUMBER [NAME]\""},
        {"macro\nend\n", "1: \"macro\" needs a number from 1 to 255"},
        {"# x\nmacro 0\nend\n", "2: macro number \"0\" is not a number from 1 to 255"},
        {"macro 256\nend\n", "1: macro number \"256\" is not"},
        {"macro 0001\nend\n", "1: macro number \"0001\" is not"},
        {"macro -3\nend\n", "1: macro number \"-3\" is not"},
        {"macro x\nend\n", "1: macro number \"x\" is not"},
        {"macro 1 a\nend\n\nmacro 1 b\nend\n", "4: macro 1 is already defined at line 1"},
        {"macro 1 a\nend\nmacro 7 a\nend\n",
         "3: macro name \"a\" is already used by macro 1 (line 1)"},
        {"macro 3 1st\nend\n", "1: macro name \"1st\" must start with a letter"},
        {"macro 3 a:b\nend\n", "1: macro name \"a:b\" must start"},
        {"macro 3 " + std::string(33, 'n') + "\nend\n", "1: macro name \"nnn"},
        {"macro 3 a b\nend\n", "1: unexpected \"b\" after the macro name"},
        {"\nmacro 3 a\n z\n", "2: macro 3 has no \"end\""},
        {"macro 3 a\n z\nmacro 4\nend\n",
         "1: macro 3 has no \"end\" (the next macro starts at line 3)"},
        {"macro 1\n z\n" + std::string(129, 'w') + "\nend\n",
         "3: the line has 129 characters; the module takes at most 128"},
        {"macro 1\n z\n" + std::string("a\0b", 3) + "\nend\n", "3: the line holds a NUL byte"},
        {"end\n", "1: expected \"macro NUMBER"},
    };
    for (const Case& c : cases) {
        MacroFile f;
        f.macros.resize(1);
        std::string error;
        EXPECT_FALSE(imgpack::parse_text(c.text, &f, &error)) << c.text;
        EXPECT_EQ(error.substr(0, std::strlen(c.error)), c.error) << c.text;
        EXPECT_EQ(f.macros.size(), 1u) << "a failed parse leaves its output alone";
    }
}

}  // namespace
