// The board session keeps requests and answers in step: owed answers are taken before the
// next request, stray reports are noticed and the exchange repeated, and one program of ours
// holds a board at a time. Each case runs at zero latency and at the real board's pace.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/board_session.h"
#include "board/discovery.h"
#include "support/sim_rig.h"

namespace vrq::test {
namespace {

using board::Outcome;
using namespace std::chrono_literals;

constexpr int kTimeoutMs = 40;

enum class Pace { ZeroLatency, RealBoard };

void PrintTo(Pace pace, std::ostream* out) {
    *out << (pace == Pace::ZeroLatency ? "zero latency" : "the real board's pace");
}

std::string PaceName(const ::testing::TestParamInfo<Pace>& pace) {
    return pace.param == Pace::ZeroLatency ? "ZeroLatency" : "RealBoard";
}

class SessionTest : public ::testing::TestWithParam<Pace> {
  protected:
    void SetUp() override {
        sim.SetZeroLatency(GetParam() == Pace::ZeroLatency);
        sim.AddBoard();
        board::Discovery found = board::DiscoverBoards(sim, clock);
        ASSERT_EQ(found.boards.size(), 1U);
        session = std::move(found.boards[0].session);
        session->SetTimeoutMs(kTimeoutMs);
    }
    sim::SimBoard& Board() { return sim.Board(0); }

    // Reads one register through the session; 0xEE when it failed.
    std::uint8_t Read(std::uint8_t reg, Outcome expected = Outcome::Ok) {
        std::uint8_t value = 0xEE;
        EXPECT_EQ(session->ReadRegisters(kChip, reg, {&value, 1}), expected);
        return value;
    }
    // A few exchanges of the kinds a test uses, so the session knows the board's pace.
    void WarmUp() {
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(session->ReadLed().Ok());
            Read(0x07);
            const std::uint8_t v = 0x00;
            session->WriteRegisters(kChip, 0x04, {&v, 1});
        }
    }
    // A stray report reaches the program while the next command runs, before its answer.
    void StrayDuringNextCommand() {
        Board().onCommand = [this](const board::Report&) {
            Board().onCommand = nullptr;
            sim.SendUnsolicitedAnswer(0);
        };
    }

    sim::VirtualClock clock;
    sim::SimTransport sim{clock};
    std::unique_ptr<board::BoardSession> session;
};

INSTANTIATE_TEST_SUITE_P(Paces, SessionTest, ::testing::Values(Pace::ZeroLatency, Pace::RealBoard),
                         PaceName);

TEST_P(SessionTest, AcknowledgementLaterThanTenMillisecondsIsNotTakenForTheNextAnswer) {
    Board().lateAnswers = 1;
    Board().lateBy = 30ms;
    EXPECT_EQ(session->SetLed(true), Outcome::Ok);
    EXPECT_EQ(Read(0x07), 0xCC);
    EXPECT_EQ(session->Counters().owedTaken, 1);

    Board().lateAnswers = 1;
    EXPECT_EQ(session->SetBusClockDivider(119), Outcome::Ok);
    const auto busClock = session->ReadBusClock();
    ASSERT_TRUE(busClock.Ok());
    EXPECT_EQ(busClock.value.divider, 119);
}

TEST_P(SessionTest, AnswerThatCameAfterItsTimeOutIsNotTakenForTheNextRequest) {
    Board().lateAnswers = 1;
    Board().lateBy = std::chrono::milliseconds(kTimeoutMs + 20);
    Read(0x00, Outcome::NoAnswer);
    EXPECT_EQ(Read(0x07), 0xCC);

    // The same with a write that the chip then refuses: the late OK must not pass for it.
    Board().lateAnswers = 1;
    Read(0x00, Outcome::NoAnswer);
    Board().Chip().SetAcknowledge(false);
    const std::uint8_t value = 0x55;
    EXPECT_EQ(session->WriteRegisters(kChip, 0x04, {&value, 1}), Outcome::NoAcknowledge);
    EXPECT_EQ(Board().Chip().Peek(0x04), 0x00);
}

// At once after the command: at the real board's pace sooner than any board answers, so set
// aside while the answer is awaited; at zero latency queued before the answer, so noticed
// after it and the read repeated.
TEST_P(SessionTest, StrayReportDuringAReadIsNoticedAndTheReadRepeated) {
    WarmUp();
    StrayDuringNextCommand();
    EXPECT_EQ(Read(0x07), 0xCC);
    const bool real = GetParam() == Pace::RealBoard;
    EXPECT_EQ(session->Counters().setAside, real ? 1 : 0);
    EXPECT_EQ(session->Counters().outOfStep, real ? 0 : 1);
    EXPECT_EQ(session->Counters().repeats, real ? 0 : 1);
}

TEST_P(SessionTest, StrayReportCannotPassForTheAcknowledgeOfARefusedWrite) {
    WarmUp();
    Board().Chip().SetAcknowledge(false);
    StrayDuringNextCommand();
    const std::uint8_t value = 0x55;
    EXPECT_EQ(session->WriteRegisters(kChip, 0x04, {&value, 1}), Outcome::NoAcknowledge);
    EXPECT_EQ(Board().Chip().Peek(0x04), 0x00);
}

// A stray that comes while the LED set's acknowledgement is owed, sooner than the board has
// ever answered, is not taken for it: the drain waits on for the acknowledgement, which then
// cannot pass for the LED query's answer (the LED would read off).
TEST_P(SessionTest, StrayWhileAnAcknowledgementIsOwedIsNotTakenForIt) {
    WarmUp();
    ASSERT_EQ(session->SetLed(true), Outcome::Ok);
    sim.SendUnsolicitedAnswer(0, GetParam() == Pace::RealBoard ? 50us : 0us);
    const auto led = session->ReadLed();
    EXPECT_TRUE(led.Ok() && led.value);
    EXPECT_EQ(session->Counters().owedTaken, 1);
    EXPECT_EQ(session->Counters().staleTaken, 1);
    EXPECT_EQ(session->Counters().outOfStep, 0);
}

// A report sooner than the board has ever answered, while an acknowledgement that never
// comes is owed: it may be a stray as well as the acknowledgement, so the acknowledgement is
// awaited as long as the board could still send it, then given up; nothing is taken for it.
TEST_P(SessionTest, AReportTooSoonForALostAcknowledgementIsNotTakenForIt) {
    WarmUp();
    Board().dropAnswers = 1;
    ASSERT_EQ(session->SetLed(true), Outcome::Ok);
    sim.SendUnsolicitedAnswer(0, GetParam() == Pace::RealBoard ? 50us : 0us);
    const auto start = clock.Now();
    EXPECT_EQ(session->Drain(), 1);
    const bool real = GetParam() == Pace::RealBoard;
    EXPECT_EQ(session->Counters().owedTaken, real ? 0 : 1);
    EXPECT_EQ(session->Counters().owedGivenUp, real ? 1 : 0);
    const auto waited = clock.Now() - start;
    EXPECT_GE(waited, real ? session->Timing().OwedLifetime() : 0us);
    EXPECT_LE(waited, real ? session->Timing().OwedLifetime() + 1ms : 0us);
    const auto led = session->ReadLed();
    EXPECT_TRUE(led.Ok() && led.value);
}

// A stray with every answer, arriving with it.
TEST_P(SessionTest, StraysThatKeepComingMakeTheAnswerAmbiguous) {
    WarmUp();
    Board().onCommand = [this](const board::Report& command) {
        sim.SendUnsolicitedAnswer(0,
                                  GetParam() == Pace::RealBoard ? Board().ModelTime(command) : 0us);
    };
    Read(0x07, Outcome::Ambiguous);
    EXPECT_EQ(session->Counters().ambiguous, 1);
    Board().onCommand = nullptr;
    EXPECT_EQ(Read(0x07), 0xCC) << "in step again after the drain";
}

TEST_P(SessionTest, AnotherProgramOfOursIsRefusedTheBoardAndCannotDisturbIt) {
    auto other = sim.AnotherProgram("vrq66208a-cli");
    const board::Discovery refused = board::DiscoverBoards(*other);
    EXPECT_TRUE(refused.boards.empty());
    ASSERT_EQ(refused.unopened.size(), 1U);
    EXPECT_EQ(refused.unopened[0].failure, board::OpenFailure::InUse);
    const std::string line = board::UnopenedSummary(refused.unopened);
    EXPECT_EQ(line.rfind("A board is present but in use by ", 0), 0U) << line;
    EXPECT_NE(line.find("(process "), std::string::npos) << line;
    EXPECT_NE(line.find("close that program first"), std::string::npos) << line;
    EXPECT_EQ(Read(0x07), 0xCC);
    EXPECT_EQ(sim.OpenHandles(), 1);

    session.reset();
    EXPECT_EQ(board::DiscoverBoards(*other).boards.size(), 1U) << "free once closed";
}

TEST_P(SessionTest, RunsPastTheLastRegisterAndBadCountsAreNeverSent) {
    std::array<std::uint8_t, 63> values{};
    Board().ClearCommands();
    EXPECT_EQ(session->ReadRegisters(kChip, 0xFF, std::span(values).first(2)), Outcome::Refused);
    EXPECT_EQ(session->WriteRegisters(kChip, 0xFE, std::span(values).first(3)), Outcome::Refused);
    EXPECT_EQ(session->ReadRegisters(kChip, 0, values), Outcome::Refused);
    EXPECT_EQ(session->ReadRegisters(kChip, 0, std::span(values).first(0)), Outcome::Refused);
    EXPECT_EQ(session->WriteRegisters(kChip, 0, std::span(values).first(60)), Outcome::Refused);
    EXPECT_TRUE(Board().Commands().empty());
    EXPECT_EQ(session->ReadRegisters(kChip, 0xFF, std::span(values).first(1)), Outcome::Ok);
}

TEST_P(SessionTest, EveryFailureHasItsOwnOutcome) {
    Board().failWrites = 1;
    Read(0x00, Outcome::NotWritten);
    Board().dropAnswers = 1;
    Read(0x00, Outcome::NoAnswer);
    EXPECT_EQ(session->SetLed(true), Outcome::Ok);
    Board().failWrites = 1;
    EXPECT_EQ(session->SetLed(true), Outcome::NotWritten);
    // Pulled while the board works on the command: the answer never comes.
    Board().onCommand = [this](const board::Report&) { sim.Unplug(0); };
    Read(0x00, Outcome::BoardGone);
    Read(0x00, Outcome::NotWritten);  // nothing more goes out to it
    EXPECT_EQ(session->ReadFirmwareVersion().outcome, Outcome::NotWritten);
}

// The window's policy on top: Retry after a failed set command sends it again on the board
// that the new discovery made current.
class LinkRetryTest : public ::testing::TestWithParam<Pace>, public SimRig {
  protected:
    void SetUp() override {
        sim.SetZeroLatency(GetParam() == Pace::ZeroLatency);
        link.SetAnswerTimeoutMs(kTimeoutMs);
        Connect();
    }
};

INSTANTIATE_TEST_SUITE_P(Paces, LinkRetryTest,
                         ::testing::Values(Pace::ZeroLatency, Pace::RealBoard), PaceName);

TEST_P(LinkRetryTest, RetryAfterAFailedLedSetSendsItAgain) {
    sim.Board(0).failWrites = 1;
    host.Script({link::AnswerRetry});
    link.SetLed(1);
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text, "Please check USB connection.\r\ncheckGPstatus");
    EXPECT_EQ(sim.TotalOpens(), 2) << "Retry found the boards again";
    EXPECT_TRUE(sim.Board(0).Led());
}

TEST_P(LinkRetryTest, RetryAfterAFailedDividerSetSendsItAgain) {
    sim.Board(0).failWrites = 1;
    host.Script({link::AnswerRetry});
    link.SetBusClockDivider(60);
    EXPECT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(sim.Board(0).Divider(), 60);
    const auto busClock = link.ReadBusClock();
    ASSERT_TRUE(busClock.has_value());
    EXPECT_EQ(busClock->divider, 60);
}

TEST_P(LinkRetryTest, NotFoundMessageSaysWhyAPresentBoardCouldNotBeOpened) {
    link.CloseBoards();
    sim.SetOpenFailure(0, board::OpenFailure::NoPermission);
    host.onMessage = [this](const ScriptedHost::Message&) {
        sim.SetOpenFailure(0, board::OpenFailure::None);
    };
    host.Script({link::AnswerRetry});
    link.FindBoards();
    ASSERT_EQ(host.messages.size(), 1U);
    const std::string& text = host.messages[0].text;
    const std::string kept =
        "Please check USB connection.\r\nVRQ66208A Evaluation Board not found.\r\n";
    EXPECT_EQ(text.substr(0, kept.size()), kept);
    EXPECT_NE(text.find("no permission to open it"), std::string::npos) << text;
    EXPECT_NE(text.find("70-vrq66208a-evb.rules"), std::string::npos) << text;
    EXPECT_NE(text.find("udevadm control --reload-rules"), std::string::npos) << text;
    EXPECT_EQ(text.find("\r\n", kept.size()), std::string::npos) << "one line added";
    EXPECT_EQ(link.BoardCount(), 1U);
}

}  // namespace
}  // namespace vrq::test

namespace vrq::test {
namespace {

class ExchangeLog : public board::ExchangeObserver {
  public:
    void OnExchange(const board::Exchange& exchange) override { seen.push_back(exchange); }
    void OnBoardClosed(int board) override { closed.push_back(board); }
    std::vector<board::Exchange> seen;
    std::vector<int> closed;
};

// Every observer on the hub sees every exchange of every board, tagged with its instance,
// repeats and drains included; after Retry, the boards found again report to them too, and
// the boards closed are named.
TEST(ExchangeHubObservers, SeeEveryExchangeWithItsBoardAndResult) {
    SimRig rig;
    auto& [clock, sim, host, hub, link] = rig;
    link.SetAnswerTimeoutMs(kTimeoutMs);
    rig.Connect(2);
    ExchangeLog first;
    ExchangeLog second;
    hub.Add(&first);
    hub.Add(&second);
    hub.Add(&first);  // once only

    std::uint8_t value = 0;
    link.SelectBoard(1);
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1}), link::StatusOk);
    ASSERT_EQ(first.seen.size(), 1U);
    EXPECT_EQ(first.seen[0].board, 1);
    EXPECT_EQ(first.seen[0].outcome, Outcome::Ok);
    EXPECT_EQ(first.seen[0].request[board::off::kFirstRegister], 0x07);
    EXPECT_EQ(first.seen[0].answer[board::off::kReadData], 0xCC);

    sim.SendUnsolicitedAnswer(1);
    sim.Board(1).failWrites = 1;
    host.Script({link::AnswerRetry});
    link.SetLed(1);  // drain, failed write, then the same after Retry on instance 0
    EXPECT_EQ(first.seen[1].kind, board::Exchange::Kind::Drain);
    EXPECT_EQ(first.seen[1].reports, 1);
    EXPECT_EQ(first.seen[2].outcome, Outcome::NotWritten);
    EXPECT_FALSE(first.seen[2].expectsAnswer);
    EXPECT_EQ(first.seen.back().board, 0);
    EXPECT_EQ(first.seen.back().outcome, Outcome::Ok);
    EXPECT_EQ(second.seen.size(), first.seen.size());
    EXPECT_EQ(first.closed, (std::vector<int>{0, 1})) << "the Retry closed both boards first";

    hub.Remove(&first);
    hub.Remove(&second);
    const std::size_t before = first.seen.size();
    link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1});
    EXPECT_EQ(first.seen.size(), before);
}

}  // namespace
}  // namespace vrq::test
