#include <gtest/gtest.h>

#include "base/format.h"

namespace {

TEST(Format, Basics) {
    char buf[64];
    kv_snprintf(buf, sizeof buf, "%d %02X %s", 42, 10, "ok");
    EXPECT_STREQ(buf, "42 0A ok");
}

}  // namespace
