#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "base/scan.h"

namespace {

TEST(Scan, TemplateBlanksAndLiterals) {
    int x = 0, y = 0, r = 0;
    // A blank matches any white space, none included.
    EXPECT_EQ(kv_sscanf("c10 20 5", "c %d%d%d", &x, &y, &r), 3);
    EXPECT_EQ(r, 5);
    EXPECT_EQ(kv_sscanf("c \t 10\t20 5 extra", "c %d%d%d", &x, &y, &r), 3);
    EXPECT_EQ(kv_sscanf("C 10 20 5", "c %d%d%d", &x, &y, &r), 0);
    // The count of conversions done before a mismatch.
    EXPECT_EQ(kv_sscanf("mv 1 x", "mv %d %d", &x, &y), 1);
    EXPECT_EQ(kv_sscanf("5", "%d %d", &x, &y), 1);
}

TEST(Scan, EndOfInputBeforeAnyConversionIsMinusOne) {
    int v = 0;
    EXPECT_EQ(kv_sscanf("", "%d", &v), -1);
    EXPECT_EQ(kv_sscanf("   ", "%d", &v), -1);
    EXPECT_EQ(kv_sscanf("x", "x %d", &v), -1);
    EXPECT_EQ(kv_sscanf("abc", "%d", &v), 0);
    EXPECT_EQ(kv_sscanf("-", "%d", &v), 0);
    char w[10];
    EXPECT_EQ(kv_sscanf("tm  ", "tm %9s", w), -1);
}

TEST(Scan, CharactersAndWords) {
    char a = 0, b = 0, c = 0;
    // %c takes the next character as it is, blanks included.
    EXPECT_EQ(kv_sscanf("a b", "a%c", &a), 1);
    EXPECT_EQ(a, ' ');
    EXPECT_EQ(kv_sscanf("*rs485 off", "*rs485 %c%c%c", &a, &b, &c), 3);
    EXPECT_EQ(std::string({a, b, c}), "off");
    char w1[10], w2[10];
    EXPECT_EQ(kv_sscanf("abcdefgh ij", "%3s%9s", w1, w2), 2);
    EXPECT_STREQ(w1, "abc");
    EXPECT_STREQ(w2, "defgh");
    int x = 0, y = 0;
    EXPECT_EQ(kv_sscanf("prx 10 20", "%*s %d %d", &x, &y), 2);
    EXPECT_EQ(y, 20);
}

TEST(Scan, IntegerForms) {
    unsigned h = 0;
    EXPECT_EQ(kv_sscanf("0x1F", "%x", &h), 1);
    EXPECT_EQ(h, 0x1Fu);
    EXPECT_EQ(kv_sscanf("1f", "%x", &h), 1);
    EXPECT_EQ(h, 0x1Fu);
    EXPECT_EQ(kv_sscanf("0xg", "%x", &h), 1);  // "0" read, "xg" left
    EXPECT_EQ(h, 0u);
    short s = 0;
    EXPECT_EQ(kv_sscanf("-5", "%hd", &s), 1);
    EXPECT_EQ(s, -5);
    EXPECT_EQ(kv_sscanf("40000", "%hd", &s), 1);
    EXPECT_EQ(s, short(-25536));
    int v = 0;
    EXPECT_EQ(kv_sscanf("+7", "%d", &v), 1);
    EXPECT_EQ(v, 7);
}

TEST(Scan, OutOfRangeSaturatesAsWithA32BitLong) {
    int v = 0;
    EXPECT_EQ(kv_sscanf("99999999999", "%d", &v), 1);
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_EQ(kv_sscanf("2147483648", "%d", &v), 1);
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_EQ(kv_sscanf("-99999999999", "%d", &v), 1);
    EXPECT_EQ(v, INT32_MIN);
    unsigned u = 0;
    EXPECT_EQ(kv_sscanf("99999999999", "%u", &u), 1);
    EXPECT_EQ(u, UINT32_MAX);
    EXPECT_EQ(kv_sscanf("-1", "%u", &u), 1);  // negated in the unsigned type
    EXPECT_EQ(u, UINT32_MAX);
    EXPECT_EQ(kv_sscanf("1FFFFFFFF", "%x", &u), 1);
    EXPECT_EQ(u, UINT32_MAX);
    long l = 0;
    EXPECT_EQ(kv_sscanf("3000000000", "%ld", &l), 1);
    EXPECT_EQ(l, long(INT32_MAX));
    unsigned long ul = 0;
    EXPECT_EQ(kv_sscanf("4294967296", "%lu", &ul), 1);
    EXPECT_EQ(ul, 4294967295ul);
    short s = 0;
    EXPECT_EQ(kv_sscanf("99999999999", "%hd", &s), 1);  // LONG_MAX, then cut to 16 bits
    EXPECT_EQ(s, -1);
}

}  // namespace
