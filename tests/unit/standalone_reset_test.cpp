// Processor resets on the in-process board: code that resets runs on a copy of the board that
// ends at the reset, the way a power-on ends. Whatever state the copy was in when it reset (a
// critical section, an interrupt handler), the board of the test process goes on as before.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "boards/sim/standalone.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/timebase.h"
#include "in_process.h"

namespace voxa_test {
namespace {

int ram_value = 1;
int handler_entries = 0;

void resetting_timer_isr() {
    ++handler_entries;
    board_timer_ack();
    reset_cpu();
}

void masking_resetting_timer_isr() {
    ++handler_entries;
    board_timer_ack();
    IrqGuard guard;
    reset_cpu();
}

class StandaloneReset : public ::testing::Test {
  protected:
    void SetUp() override { start_firmware_in_process(); }
    void TearDown() override { host_output(); }
    sim::Standalone& board = sim::Standalone::instance();

    // Interrupts are unmasked, the millisecond tick counts, received bytes reach the
    // firmware's line buffer and its transmitter drains: what the main loop relies on. (Without
    // interrupts the transmitter would never drain: that part is left out once one failed.)
    void expect_board_runs(const char* after) {
        SCOPED_TRACE(after);
        const uint32_t was_masked = board_irq_save();
        board_irq_restore(was_masked);
        ASSERT_EQ(was_masked, 0u);
        const uint32_t ms = KV_TimerGetMsCount();
        board.run_for_ns(10'000'000);
        const uint32_t ticked = KV_TimerGetMsCount() - ms;
        ASSERT_GE(ticked, 9u);
        ASSERT_LE(ticked, 11u);
        rxReset();
        board.send(hostPort(), "vers\r");
        board.run_for_ns(5'000'000);
        EXPECT_GT(isLineAvail(), 0);
        char line[32];
        rxString(line, sizeof line);
        EXPECT_STREQ(line, "vers\r");
        txString("ok\r");
        EXPECT_EQ(host_output(), "ok\r");
    }
};

TEST_F(StandaloneReset, EndsTheCopyWhereItHappensAndOnlyPersistentMemoriesOutliveIt) {
    constexpr uint32_t kAddress = 0x2000;
    const uint8_t kept = board.eeprom()[kAddress];
    const uint64_t now = board.machine().now();
    const auto ending = board.run_isolated(
        [&]() -> int {
            ram_value = 2;
            EEpromWrite(kAddress, uint8_t(kept ^ 0x5A));
            board.run_for_ns(1'000'000);
            reset_cpu();
        },
        [] { return ram_value * 10; });
    ASSERT_TRUE(ending.reset()) << ending.why;
    EXPECT_EQ(ending.value, 20) << "at_reset sees the copy's RAM as the reset found it";
    EXPECT_GE(ending.reset_ns, now + 1'000'000);
    EXPECT_EQ(ram_value, 1);
    EXPECT_EQ(board.machine().now(), now);
    EXPECT_EQ(board.eeprom()[kAddress], uint8_t(kept ^ 0x5A));
    board.eeprom()[kAddress] = kept;

    const auto returned = board.run_isolated([] { return 7; }, [] { return 99; });
    EXPECT_TRUE(returned.returned());
    EXPECT_EQ(returned.value, 7);

    const auto crashed = board.run_isolated([]() -> int { std::abort(); });
    EXPECT_FALSE(crashed.returned() || crashed.reset());
    EXPECT_NE(crashed.why.find("Aborted"), std::string::npos) << crashed.why;

    // Exiting by another way than returning or resetting is not taken for either.
    const auto exited = board.run_isolated([]() -> int { _exit(0); });
    EXPECT_FALSE(exited.returned() || exited.reset());
    EXPECT_EQ(exited.why, "exited with code 0");
}

TEST_F(StandaloneReset, InACriticalSectionLeavesTheBoardRunning) {
    const auto ending = board.run_isolated([]() -> int {
        IrqGuard outer;
        IrqGuard inner;
        reset_cpu();
    });
    EXPECT_TRUE(ending.reset()) << ending.why;
    expect_board_runs("reset inside IrqGuard");
}

TEST_F(StandaloneReset, InAnInterruptHandlerLeavesTheBoardRunning) {
    for (const IsrHandler handler : {&resetting_timer_isr, &masking_resetting_timer_isr}) {
        handler_entries = 0;
        const auto ending = board.run_isolated(
            [&] {
                interrupt_set_isr(kIrqTimer, handler);
                board.run_for_ns(5'000'000);
                return -1;  // the tick never came
            },
            [] { return handler_entries; });
        EXPECT_TRUE(ending.reset()) << ending.why;
        EXPECT_EQ(ending.value, 1) << "the first tick reset the processor";
        EXPECT_EQ(handler_entries, 0);
        expect_board_runs(handler == &resetting_timer_isr ? "reset in the timer interrupt"
                                                          : "reset in the timer interrupt, masked");
    }
}

}  // namespace
}  // namespace voxa_test
