// The board link's pauses and waits on virtual time, where each can be held to the
// microsecond: the window's pauses (0.5 s after a typed key, 0.2 s before a read-back, 0.1 s
// per scan probe and for the re-calibration pulse), the 6 s an answer is waited for, and
// the 1 ms the drain waits for each further stale answer.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "board_fixture.h"

namespace vrq::test {
namespace {

using namespace std::chrono_literals;
using link::StatusOk;
using link::StatusReadFailed;
using Duration = board::Clock::Duration;

// The pause in milliseconds.
class PauseTest : public BoardLinkTest, public ::testing::WithParamInterface<int> {};

// Events are handled at least every 4 ms, and the pause ends at its time (to the float's
// precision: not before, and not a whole event interval after).
TEST_P(PauseTest, LastsItsTimeHandlingEventsEveryFourMilliseconds) {
    Connect();
    std::vector<board::Clock::TimePoint> passes;
    host.onEvents = [&] { passes.push_back(clock.Now()); };
    const auto start = clock.Now();
    link.DelaySeconds(static_cast<float>(GetParam()) / 1000.0F);
    const auto asked = std::chrono::milliseconds(GetParam());
    const std::chrono::duration<double, std::micro> off = clock.Now() - start - asked;
    EXPECT_NEAR(off.count(), 0.0, 1.0);
    ASSERT_FALSE(passes.empty());
    EXPECT_EQ(passes.back(), clock.Now()) << "events once more at the end";
    auto previous = start;
    for (const auto pass : passes) {
        EXPECT_LE(pass - previous, 4ms);
        previous = pass;
    }
    EXPECT_NEAR(static_cast<double>(passes.size()), static_cast<double>(asked / 4ms), 1.0);
}

INSTANTIATE_TEST_SUITE_P(WindowPauses, PauseTest, ::testing::Values(500, 200, 100));

// A handler that runs inside a pause (a second key, a read-back of its own) moves the time
// on: the outer pause still ends at its own end, or as soon as the nested work ends if that
// is later.
TEST_F(BoardLinkTest, WorkNestedInAPauseTakesItsTimeAndThePauseStillEndsOnTime) {
    sim.SetZeroLatency(false);
    Connect();
    int pass = 0;
    float nestedPause = 0.2F;
    board::Clock::TimePoint nestedEnd{};
    host.onEvents = [&] {
        if (pass++ == 0) {
            std::uint8_t value = 0;
            EXPECT_EQ(link.ReadRegisters(kChip, 0x07, 1, {&value, 1}, false), StatusOk);
            link.DelaySeconds(nestedPause);
            nestedEnd = clock.Now();
        }
    };
    auto start = clock.Now();
    link.DelaySeconds(0.5F);
    EXPECT_LT(nestedEnd - start, 500ms);
    EXPECT_GE(clock.Now() - start, 500ms);
    EXPECT_LT(clock.Now() - start, 501ms);

    pass = 0;
    nestedPause = 0.5F;  // outlasts the pause it runs in
    start = clock.Now();
    link.DelaySeconds(0.2F);
    EXPECT_GT(nestedEnd - start, 504ms);
    EXPECT_EQ(clock.Now(), nestedEnd);
}

// A board that never answers: the request fails after the board's full 6 s, and nothing is
// left waiting for the next request.
TEST_F(BoardLinkTest, ABoardThatNeverAnswersFailsAfterSixSeconds) {
    Connect();
    link.SetAnswerTimeoutMs(link::kDefaultAnswerTimeoutMs);
    Board().dropAnswers = 2;
    std::uint8_t value = 0xEE;
    auto start = clock.Now();
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1}), StatusReadFailed);
    EXPECT_EQ(clock.Now() - start, 6s);
    EXPECT_EQ(value, 0xEE);

    start = clock.Now();
    EXPECT_EQ(link.WriteRegistersOnce(kChip, 0x03, 1, std::vector<std::uint8_t>{0x12}),
              StatusReadFailed);
    // The unanswered read's answer is past the time a board could still send it: the write
    // does not wait for it.
    EXPECT_EQ(clock.Now() - start, 6s);

    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1}), StatusOk);
    EXPECT_EQ(value, 0xCC);
    EXPECT_TRUE(host.messages.empty());
}

// The drain waits 1 ms for each further stale answer: with none it returns after 1 ms; it
// takes answers that keep coming within 1 ms of each other, and returns 1 ms after the last.
TEST_F(BoardLinkTest, DrainInputWaitsOneMillisecondForEachFurtherAnswer) {
    Connect();
    auto start = clock.Now();
    link.DrainInput();
    EXPECT_EQ(clock.Now() - start, 1ms);

    start = clock.Now();
    for (const Duration at : {Duration(0us), Duration(500us), Duration(1400us)}) {
        sim.SendUnsolicitedAnswer(0, at);
    }
    sim.SendUnsolicitedAnswer(0, 2500us);  // more than 1 ms after the one before
    link.DrainInput();
    EXPECT_EQ(clock.Now() - start, 2400us);

    start = clock.Now();
    link.DrainInput();
    EXPECT_EQ(clock.Now() - start, 1100us) << "the late one, and 1 ms after it";
    std::uint8_t value = 0;
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1}), StatusOk);
    EXPECT_EQ(value, 0xCC);
}

}  // namespace
}  // namespace vrq::test
