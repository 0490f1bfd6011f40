// Piped host lines, each sent when the module is ready for it.
#include "sim/line_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using sim::LinePacer;

constexpr uint64_t kMs = 1'000'000;
constexpr size_t kAll = SIZE_MAX;

TEST(LinePacer, EachLineWaitsForThePromptOfThePreviousOne) {
    LinePacer p;
    p.add_input("vers\rf?\r");
    // The firmware is still starting: nothing goes, however long the silence before its prompt.
    EXPECT_EQ(p.take(0, kAll), "");
    EXPECT_EQ(p.take(2000 * kMs, kAll), "");
    p.module_output(":GUI: banner\r>", 2200 * kMs);
    EXPECT_EQ(p.take(2201 * kMs, kAll), "");  // the prompt is not complete without its CR
    p.module_output("\r", 2202 * kMs);
    EXPECT_EQ(p.take(2203 * kMs, kAll), "vers\r");
    // A ">" inside a reply line is no prompt; the reply's own prompt line is.
    p.module_output("a>\r>b\r", 2204 * kMs);
    EXPECT_EQ(p.take(2205 * kMs, kAll), "");
    p.module_output("VOXA5\r", 2206 * kMs);
    p.module_output("!", 2207 * kMs);
    EXPECT_EQ(p.take(2208 * kMs, kAll), "");
    p.module_output("\r", 2209 * kMs);
    EXPECT_EQ(p.take(2210 * kMs, kAll), "f?\r");
    // "#" is a prompt as well.
    p.add_input("x\r");
    p.module_output("#\r", 2211 * kMs);
    EXPECT_EQ(p.take(2212 * kMs, kAll), "x\r");
}

TEST(LinePacer, APromptSentBeforeTheLineLeftDoesNotAnswerIt) {
    LinePacer p;
    p.module_output(">\r", 1000 * kMs);
    p.add_input("a\rb\r");
    EXPECT_EQ(p.take(1001 * kMs, kAll), "a\r");
    // A prompt from before (already seen) must not release "b"; only a new one does.
    EXPECT_EQ(p.take(1002 * kMs, kAll), "");
    p.module_output(">\r", 1003 * kMs);
    EXPECT_EQ(p.take(1004 * kMs, kAll), "b\r");
}

TEST(LinePacer, LinesWithoutPromptGoAfterQuietTimeOrTheLineLimit) {
    LinePacer p;
    p.module_output(">\r", 0);
    p.add_input("outs \"hi\"\rvers\r");
    EXPECT_EQ(p.take(1 * kMs, kAll), "outs \"hi\"\r");
    p.module_output("hi", 2 * kMs);
    // Quiet time counts from the last output.
    EXPECT_EQ(p.take(2 * kMs + LinePacer::kQuietNs - 1, kAll), "");
    EXPECT_EQ(p.take(2 * kMs + LinePacer::kQuietNs, kAll), "vers\r");

    // A module that never stops talking holds the next line back only up to the line limit.
    p.add_input("next\r");
    const uint64_t sent = 2 * kMs + LinePacer::kQuietNs;
    for (uint64_t t = sent + 100 * kMs; t < sent + LinePacer::kLineLimitNs; t += 100 * kMs) {
        p.module_output("report", t);
        ASSERT_EQ(p.take(t, kAll), "") << t;
    }
    EXPECT_EQ(p.take(sent + LinePacer::kLineLimitNs, kAll), "next\r");
}

TEST(LinePacer, StartUpWithoutPromptAndRestarts) {
    LinePacer p;
    p.add_input("a\rb\r");
    EXPECT_EQ(p.take(5 * kMs, kAll), "");
    EXPECT_EQ(p.take(5 * kMs + LinePacer::kStartupLimitNs - 1, kAll), "");
    EXPECT_EQ(p.take(5 * kMs + LinePacer::kStartupLimitNs, kAll), "a\r");
    // The line reset the module: the next line waits for the new start-up prompt, not for a
    // quiet time that a booting module always gives.
    const uint64_t reset = 5 * kMs + LinePacer::kStartupLimitNs + 1 * kMs;
    p.module_restarted(reset);
    EXPECT_EQ(p.take(reset + 2 * LinePacer::kQuietNs, kAll), "");
    p.module_output(">\r", reset + 1200 * kMs);
    EXPECT_EQ(p.take(reset + 1201 * kMs, kAll), "b\r");
}

TEST(LinePacer, ALineLongerThanTheRoomGoesInPiecesAndCountsOnceWhole) {
    LinePacer p;
    p.module_output(">\r", 0);
    p.add_input("0123456789\rnext\r");
    EXPECT_EQ(p.take(1, 4), "0123");
    EXPECT_EQ(p.take(2, 0), "");
    p.module_output(">\r", 3);  // not an answer: the line is not complete yet
    EXPECT_EQ(p.take(4, 4), "4567");
    EXPECT_EQ(p.take(5, 4), "89\r");
    EXPECT_EQ(p.take(6, 4), "");
    p.module_output(">\r", 7);
    EXPECT_EQ(p.take(8, 4), "next");
}

TEST(LinePacer, EndOfInputFinishesOnceTheModuleIsQuiet) {
    LinePacer p;
    p.add_input("vers\rlast");
    p.end_of_input();
    EXPECT_FALSE(p.wants_input());
    p.module_output(">\r", 1000 * kMs);
    EXPECT_EQ(p.take(1001 * kMs, kAll), "vers\r");
    EXPECT_FALSE(p.finished(1001 * kMs));
    p.module_output("VOXA5\r>\r", 1002 * kMs);
    // A last line without CR still goes, whole.
    EXPECT_EQ(p.take(1003 * kMs, kAll), "last");
    EXPECT_FALSE(p.finished(1003 * kMs));
    p.module_output("!\r", 1004 * kMs);
    EXPECT_FALSE(p.finished(1005 * kMs));
    // Output after the last answer (a notification) restarts the quiet time.
    p.module_output("note\r", 1300 * kMs);
    EXPECT_FALSE(p.finished(1300 * kMs + LinePacer::kEndQuietNs - 1));
    EXPECT_TRUE(p.finished(1300 * kMs + LinePacer::kEndQuietNs));

    // A module that keeps talking ends the run at the end limit after the last answer.
    LinePacer chatty;
    chatty.end_of_input();
    chatty.module_output(">\r", 0);
    EXPECT_EQ(chatty.take(1, kAll), "");
    uint64_t t = 1;
    for (; t < 1 + LinePacer::kEndLimitNs; t += 100 * kMs) {
        chatty.module_output("x", t);
        ASSERT_FALSE(chatty.finished(t)) << t;
    }
    chatty.module_output("x", t);
    EXPECT_TRUE(chatty.finished(t));
}

TEST(LinePacer, HoldsABoundedAmountOfInput) {
    LinePacer p;
    EXPECT_TRUE(p.wants_input());
    p.add_input(std::string(LinePacer::kMaxBuffered - 1, 'a'));
    EXPECT_TRUE(p.wants_input());
    p.add_input("a\r");
    EXPECT_FALSE(p.wants_input());
    p.module_output(">\r", 0);
    EXPECT_EQ(p.take(1, kAll).size(), LinePacer::kMaxBuffered + 1);
    EXPECT_TRUE(p.wants_input());
}

}  // namespace
