// Stray and late reports against a session at the real board's pace, on virtual time: a
// report is taken for an answer only when the session can vouch for it. Strays close below
// the time an answer takes, strays far too soon with the answer lost or late, late answers
// that arrive during a later exchange or after the board was opened again, and strays before
// anything was timed.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "board/board_session.h"
#include "board/discovery.h"
#include "board/exchange_hub.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"
#include "support/scripted_host.h"
#include "ui/link/board_link.h"

namespace vrq::test {
namespace {

using board::Outcome;
using namespace std::chrono_literals;

constexpr std::uint8_t kChip = 0x88;  // 7-bit 0x44 in write form
constexpr std::uint8_t kStrayByte = 0xAB;

// A stray that looks like a read's answer: status 0, then kStrayByte.
board::Report Stray() {
    board::Report stray{};
    stray[board::off::kReadData] = kStrayByte;
    return stray;
}

class InStep : public ::testing::Test {
  protected:
    void SetUp() override {
        sim.SetZeroLatency(false);
        sim.AddBoard();
        board::Discovery found = board::DiscoverBoards(sim, clock);
        ASSERT_EQ(found.boards.size(), 1U);
        session = std::move(found.boards[0].session);
        session->SetTimeoutMs(40);
    }
    sim::SimBoard& Board() { return sim.Board(0); }
    Outcome Read(std::uint8_t reg, std::uint8_t& value) {
        return session->ReadRegisters(kChip, reg, {&value, 1});
    }
    Outcome Write(std::uint8_t reg, std::uint8_t value) {
        return session->WriteRegisters(kChip, reg, {&value, 1});
    }
    // Enough exchanges of the kinds the tests use for the session to know the board's pace.
    void WarmUp() {
        for (int i = 0; i < 5; ++i) {
            EXPECT_TRUE(session->ReadLed().Ok());
            std::uint8_t value = 0;
            EXPECT_EQ(Read(0x07, value), Outcome::Ok);
            EXPECT_EQ(Write(0x04, 0x00), Outcome::Ok);
        }
    }
    // The next command brings a stray, arriving at when(command) after it.
    void StrayWithNextCommand(std::function<board::Clock::Duration(const board::Report&)> when) {
        Board().onCommand = [this, when](const board::Report& command) {
            sim.SendUnsolicitedAnswer(0, when(command), Stray());
            Board().onCommand = nullptr;  // last: it ends this function's life
        };
    }

    sim::VirtualClock clock;
    sim::SimTransport sim{clock};
    std::unique_ptr<board::BoardSession> session;
};

// Just before the real answer, later than a report the session calls too soon: a stray that
// would pass for the acknowledgement of a write the chip refused, or for a read's value.
TEST_F(InStep, AStrayJustBeforeTheAnswerIsNotTakenForIt) {
    WarmUp();
    const auto justBefore = [this](const board::Report& command) {
        return Board().ModelTime(command) - 50us;
    };
    Board().Chip().SetAcknowledge(false);
    StrayWithNextCommand(justBefore);
    EXPECT_EQ(Write(0x04, 0x55), Outcome::NoAcknowledge);
    EXPECT_EQ(Board().Chip().Peek(0x04), 0x00);

    Board().Chip().SetAcknowledge(true);
    StrayWithNextCommand(justBefore);
    std::uint8_t value = 0;
    EXPECT_EQ(Read(0x07, value), Outcome::Ok);
    EXPECT_EQ(value, 0xCC);
}

// A stray too soon to be the answer, and the answer lost (a read) or later than the stray and
// the session's look for it (a write the chip refused): never taken for the answer. Half a
// millisecond after the command is sooner than the board can answer at all; one and a half is
// sooner than any answer of its kind.
class InStepTooSoon : public InStep, public ::testing::WithParamInterface<int> {};

TEST_P(InStepTooSoon, AStrayWithTheAnswerLostOrLateIsNeverTheAnswer) {
    WarmUp();
    const auto soon = std::chrono::microseconds(GetParam());
    StrayWithNextCommand([soon](const board::Report&) { return soon; });
    Board().dropAnswers = 1;
    std::uint8_t value = 0xEE;
    EXPECT_NE(Read(0x07, value), Outcome::Ok);
    EXPECT_EQ(value, 0xEE) << "the stray's byte";

    session->Drain();
    Board().Chip().SetAcknowledge(false);
    Board().lateAnswers = 1;
    Board().lateBy = 20ms;
    StrayWithNextCommand([soon](const board::Report&) { return soon; });
    EXPECT_NE(Write(0x04, 0x55), Outcome::Ok);
    EXPECT_EQ(Board().Chip().Peek(0x04), 0x00);
}

INSTANTIATE_TEST_SUITE_P(Times, InStepTooSoon, ::testing::Values(500, 1500),
                         [](const auto& time) { return std::to_string(time.param) + "us"; });

// The first read's answer comes 300 ms late, after its 200 ms time-out and after the 100 ms
// a drain once waited; the second read's own answer comes late too, after the first's.
TEST_F(InStep, ALateAnswerIsNotTakenByTheNextExchange) {
    WarmUp();
    session->SetTimeoutMs(200);
    Board().lateAnswers = 1;
    Board().lateBy = 300ms;
    std::uint8_t value = 0;
    EXPECT_EQ(Read(0x00, value), Outcome::NoAnswer);
    Board().lateAnswers = 1;
    Board().lateBy = 150ms;
    value = 0;
    const Outcome second = Read(0x07, value);
    EXPECT_TRUE(second != Outcome::Ok || value == 0xCC) << "0x31 is register 0x00's value";
    EXPECT_EQ(second, Outcome::Ok);
}

// The same across the window's Reconnect (or a Retry): the board opened again still sends
// what it owed, and the new session owes it.
TEST(InStepAcrossReconnection, ALateAnswerIsNotTakenAfterTheBoardIsOpenedAgain) {
    sim::VirtualClock clock;
    sim::SimTransport sim{clock};
    sim.SetZeroLatency(false);
    sim.AddBoard();
    ScriptedHost host;
    board::ExchangeHub hub;
    link::BoardLink link(sim, host, hub, clock);
    link.SetAnswerTimeoutMs(200);
    link.FindBoards();
    std::uint8_t value = 0;
    for (int i = 0; i < 5; ++i) {
        link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1});
    }
    sim.Board(0).lateAnswers = 1;
    sim.Board(0).lateBy = 300ms;
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x00, 1, {&value, 1}), link::StatusReadFailed);
    link.FindBoards();
    sim.Board(0).lateAnswers = 1;
    sim.Board(0).lateBy = 150ms;
    value = 0;
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1}), link::StatusOk);
    EXPECT_EQ(value, 0xCC) << "0x31 is register 0x00's value";
    EXPECT_TRUE(host.messages.empty());
}

// Before anything was timed: the board's first answer must not be a stray that came at once.
TEST_F(InStep, AStrayBeforeAnythingWasTimedIsNotTheFirstAnswer) {
    Board().Chip().SetAcknowledge(false);
    StrayWithNextCommand([](const board::Report&) { return 0us; });
    EXPECT_EQ(Write(0x04, 0x55), Outcome::NoAcknowledge);
}

// A board whose first answers were all late taught the session nothing it cannot unlearn:
// once its answers come on time again, reads go through after at most a few failures.
TEST_F(InStep, FirstAnswersThatWereLateDoNotLockTheSessionOut) {
    Board().lateAnswers = 6;
    Board().lateBy = 10ms;
    std::uint8_t value = 0;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Read(0x07, value), Outcome::Ok);
    }
    int failed = 0;
    while (Read(0x07, value) != Outcome::Ok && failed < 5) {
        ++failed;
    }
    EXPECT_LE(failed, 3);
    for (int i = 0; i < 10; ++i) {
        value = 0;
        EXPECT_EQ(Read(0x07, value), Outcome::Ok);
        EXPECT_EQ(value, 0xCC);
    }
}

}  // namespace
}  // namespace vrq::test
