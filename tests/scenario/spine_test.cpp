#include <gtest/gtest.h>

#include "harness/harness.h"

namespace voxa_test {
namespace {

TEST(Spine, BootsToPromptAndAnswersVers) {
    Harness h;
    EXPECT_EQ(h.boot(), kBootNoFile);
    EXPECT_EQ(h.command("vers"), "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

}  // namespace
}  // namespace voxa_test
