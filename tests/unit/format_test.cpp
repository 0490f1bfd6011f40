#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "base/format.h"

namespace {

template <typename... Args>
std::string fmt(const char* format, Args... args) {
    char buf[160];
    kv_snprintf(buf, sizeof buf, format, args...);
    return buf;
}

TEST(Format, FlagsAndWidths) {
    EXPECT_EQ(fmt("%d %02X %s", 42, 10, "ok"), "42 0A ok");
    EXPECT_EQ(fmt("[%-5d][%5d][%05d][%+d][% d]", 42, 42, 42, 42, 42),
              "[42   ][   42][00042][+42][ 42]");
    EXPECT_EQ(fmt("%02X %04X %06X %4X %#x", 0x1AB, 0xF, 0xFF8800, 0x1F, 42),
              "1AB 000F FF8800   1F 0x2a");
    EXPECT_EQ(fmt("%ld %lu %ld", long(INT32_MIN), 4294967295ul, 7L), "-2147483648 4294967295 7");
    EXPECT_EQ(fmt("%c%%%.3s|%-4s|", 'x', "abcdef", "ab"), "x%abc|ab  |");
    EXPECT_EQ(fmt("%.*s", 2, "config"), "co");
}

TEST(Format, FixedPoint) {
    EXPECT_EQ(fmt("%+05.1f", 23.46), "+23.5");
    EXPECT_EQ(fmt("%+05.1f", 99.9), "+99.9");
    EXPECT_EQ(fmt("%+05.1f", -5.0), "-05.0");
    EXPECT_EQ(fmt("%+05.1f", 0.04), "+00.0");
    EXPECT_EQ(fmt("%.2f %f", 1.005e2, 0.5), "100.50 0.500000");
}

TEST(Format, TruncatesAndReportsTheFullLength) {
    char buf[5];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(kv_snprintf(buf, sizeof buf, "%s", "abcdefgh"), 8);
    EXPECT_STREQ(buf, "abcd");
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(kv_snprintf(buf, 1, "%d", 12345), 5);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'Z');
    EXPECT_EQ(kv_snprintf(buf, 0, "%d", 12345), 5);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(kv_snprintf(nullptr, 0, "%s %d", "ab", 1), 4);
}

}  // namespace
