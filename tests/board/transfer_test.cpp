#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "board/hex.h"
#include "board_fixture.h"

namespace vrq::test {
namespace {

using link::AnswerCancel;
using link::AnswerRetry;
using link::Status;
using link::StatusDeviceError;
using link::StatusOk;
using link::StatusReadFailed;
using link::StatusWriteFailed;

const char* const kInvalidAddress =
    "Invalid I2C address. Press Retry to return to GUI and enter valid address or Cancel to "
    "close GUI.";
const char* const kUsbRead = "Please check USB connection.\r\nUSB ReadFile error.";
const char* const kUsbWrite = "Please check USB connection.\r\nUSB WriteFile error.";
const char* const kGpStatus = "Please check USB connection.\r\ncheckGPstatus";

TEST(StatusCodes, KeepTheirValues) {
    EXPECT_EQ(StatusOk, 8);
    EXPECT_EQ(StatusDeviceError, 1);
    EXPECT_EQ(StatusReadFailed, 2);
    EXPECT_EQ(StatusWriteFailed, 4);
}

TEST(HexHelpers, ShowTwoUpperCaseDigitsAndWrapSteps) {
    EXPECT_EQ(board::ByteToHex(0), "00");
    EXPECT_EQ(board::ByteToHex(10), "0A");
    EXPECT_EQ(board::ByteToHex(200), "C8");
    EXPECT_EQ(board::AddToByte(0xFF, 1), 0x00);
    EXPECT_EQ(board::AddToByte(0x00, -1), 0xFF);
    EXPECT_EQ(board::AddToByte(0xF8, 16), 0x08);
    EXPECT_EQ(board::AddToByte(0x05, -16), 0xF5);
}

TEST_F(BoardLinkTest, AnswerStatusByteDecidesOkOrDeviceError) {
    Connect();
    std::uint8_t value = 0xAB;
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0, 1, {&value, 1}), StatusOk);
    EXPECT_EQ(value, 0x31);

    Board().Chip().SetAcknowledge(false);
    value = 0xAB;
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0, 1, {&value, 1}), StatusDeviceError);
    EXPECT_EQ(value, 0xAB) << "a failed read leaves the caller's array alone";
    EXPECT_TRUE(host.messages.empty()) << "single attempts never ask";
}

TEST_F(BoardLinkTest, DeviceErrorIsAnnouncedUnlessQuiet) {
    Connect();
    Board().Chip().SetAcknowledge(false);
    std::uint8_t value = 0;
    EXPECT_EQ(link.ReadRegisters(kChip, 0, 1, {&value, 1}, true), StatusDeviceError);
    EXPECT_TRUE(host.messages.empty());

    host.Script({AnswerRetry});
    EXPECT_EQ(link.WriteRegisters(kChip, 3, 1, std::vector<std::uint8_t>{1}, false),
              StatusDeviceError);
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text, kInvalidAddress);
    EXPECT_EQ(host.Unanswered(), 0U);
    EXPECT_EQ(sim.TotalOpens(), 1) << "Retry after a device error does not rediscover";
}

TEST_F(BoardLinkTest, CancelAtTheInvalidAddressMessageEndsTheProgram) {
    EXPECT_EXIT(
        {
            Connect(2);
            Board().Chip().SetAcknowledge(false);
            host.Script({AnswerCancel});
            std::uint8_t value = 0;
            link.ReadRegisters(kChip, 0, 1, {&value, 1}, false);
        },
        ::testing::ExitedWithCode(kProgramEndedExit), kEndedWithBoardsClosed);
}

TEST_F(BoardLinkTest, NoAnswerTimesOutAsReadFailedWithoutAMessage) {
    Connect();
    Board().dropAnswers = 1;
    std::uint8_t value = 0;
    const auto start = clock.Now();
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0, 1, {&value, 1}), StatusReadFailed);
    EXPECT_EQ(clock.Now() - start, std::chrono::milliseconds(kShortTimeoutMs));
    EXPECT_TRUE(host.messages.empty());
    // Nothing is left pending: the next exchange gets its own answer.
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0, 1, {&value, 1}), StatusOk);
    EXPECT_EQ(value, 0x31);
}

TEST_F(BoardLinkTest, ReadFailureAsksEvenWhenQuietAndRetryRediscoversAndRepeats) {
    Connect(2);
    ASSERT_TRUE(link.SelectBoard(1));
    Board(1).dropAnswers = 1;
    host.Script({AnswerRetry});
    std::uint8_t value = 0;
    EXPECT_EQ(link.ReadRegisters(kChip, 0, 1, {&value, 1}, true), StatusOk);
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text, kUsbRead);
    EXPECT_EQ(link.CurrentBoard(), 0U) << "after Retry instance 0 is current again";
    EXPECT_EQ(value, 0x31);
    EXPECT_EQ(Board(0).Commands().size(), 1U) << "the request went again, to instance 0";
}

TEST_F(BoardLinkTest, WriteFailureAsksWithTheWriteFileText) {
    Connect();
    Board().failWrites = 2;
    host.Script({AnswerRetry, AnswerRetry});
    EXPECT_EQ(link.WriteRegisters(kChip, 3, 1, std::vector<std::uint8_t>{0x12}, false), StatusOk);
    ASSERT_EQ(host.messages.size(), 2U);
    EXPECT_EQ(host.messages[1].text, kUsbWrite);
    EXPECT_EQ(Board().Chip().Peek(3), 0x12);
}

TEST_F(BoardLinkTest, CancelAtTheUsbMessageEndsTheProgram) {
    EXPECT_EXIT(
        {
            Connect();
            Board().failWrites = 1;
            host.Script({AnswerCancel});
            link.WriteRegisters(kChip, 3, 1, std::vector<std::uint8_t>{0x12}, false);
        },
        ::testing::ExitedWithCode(kProgramEndedExit), kEndedWithBoardsClosed);
}

TEST_F(BoardLinkTest, UnpluggedMidOperationRetryAfterPluggingBackCompletesTheRequest) {
    Connect();
    bool pulled = false;
    Board().onCommand = [&](const board::Report&) {
        if (!pulled) {
            pulled = true;
            sim.Unplug(0);
        }
    };
    host.Script({AnswerRetry, AnswerRetry});
    int asked = 0;
    host.onMessage = [&](const ScriptedHost::Message&) {
        if (++asked == 2) {
            sim.Plug(0);
        }
    };
    std::vector<std::uint8_t> values(13);
    EXPECT_EQ(link.ReadRegisters(kChip, 0, 13, values, false), StatusOk);
    ASSERT_EQ(host.messages.size(), 2U);
    EXPECT_EQ(host.messages[0].text, kUsbRead);
    EXPECT_NE(host.messages[1].text.find("Evaluation Board not found."), std::string::npos);
    EXPECT_EQ(values[0], 0x31);
    EXPECT_EQ(values[7], 0xCC);
}

TEST_F(BoardLinkTest, DrainConsumesEveryQueuedAnswer) {
    Connect();
    for (int i = 0; i < 3; ++i) {
        sim.SendUnsolicitedAnswer(0);
    }
    link.DrainInput();
    std::uint8_t value = 0;
    // Without the drain this read would take a stale acknowledgement for its answer.
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1}), StatusOk);
    EXPECT_EQ(value, 0xCC);
}

TEST_F(BoardLinkTest, StaleAnswersAreTakenBeforeEveryRequestWithoutAnExplicitDrain) {
    Connect();
    sim.SendUnsolicitedAnswer(0);
    std::uint8_t value = 0xEE;
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1}), StatusOk);
    EXPECT_EQ(value, 0xCC);
}

TEST_F(BoardLinkTest, DrainStopsOnAReadFailureAndOnItsBound) {
    Connect();
    sim.Unplug(0);
    link.DrainInput();  // returns at once instead of looping on failures
    sim.Plug(0);
    link.FindBoards();
    for (int i = 0; i < board::BoardSession::kMaxDrainedReports + 1; ++i) {
        sim.SendUnsolicitedAnswer(0);
    }
    EXPECT_EQ(link.CurrentSession()->Drain(), board::BoardSession::kMaxDrainedReports);
    EXPECT_EQ(link.CurrentSession()->Drain(), 1) << "the one beyond the bound";
    std::uint8_t value = 0xEE;
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x08, 1, {&value, 1}), StatusOk);
    EXPECT_EQ(value, 0xCC);
}

TEST_F(BoardLinkTest, LateAnswerIsAFailureAndIsDrainedLater) {
    Connect();
    Board().lateAnswers = 1;
    Board().lateBy = std::chrono::milliseconds(kShortTimeoutMs * 2);
    std::uint8_t value = 0;
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x00, 1, {&value, 1}), StatusReadFailed);
    clock.Advance(std::chrono::milliseconds(kShortTimeoutMs * 2));
    link.DrainInput();
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0x07, 1, {&value, 1}), StatusOk);
    EXPECT_EQ(value, 0xCC);
}

TEST_F(BoardLinkTest, HandleTransferStatusShowsNothingForOkOrQuietDeviceErrors) {
    Connect();
    link.HandleTransferStatus(StatusOk, false);
    link.HandleTransferStatus(StatusDeviceError, true);
    EXPECT_TRUE(host.messages.empty());
    host.Script({AnswerRetry});
    link.checkGPstatus();
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text, kGpStatus);
    EXPECT_EQ(sim.TotalOpens(), 2) << "Retry rediscovers";
}

TEST_F(BoardLinkTest, DelaySecondsHandlesEventsUntilTheTimeIsUp) {
    Connect();
    link.DelaySeconds(0);
    link.DelaySeconds(-1);
    EXPECT_EQ(host.eventPasses, 0);

    int nested = 0;
    host.onEvents = [&] {
        if (nested++ == 0) {
            std::uint8_t value = 0;  // a handler that talks to the board inside the pause
            EXPECT_EQ(link.ReadRegistersOnce(kChip, 0, 1, {&value, 1}), StatusOk);
        }
    };
    const auto start = clock.Now();
    link.DelaySeconds(0.05F);
    EXPECT_GE(clock.Now() - start, std::chrono::milliseconds(50));
    EXPECT_LT(clock.Now() - start, std::chrono::milliseconds(51));
    EXPECT_GE(host.eventPasses, 2);
    EXPECT_EQ(Board().Commands().size(), 1U);
}

}  // namespace
}  // namespace vrq::test

namespace vrq::test {
namespace {

TEST_F(BoardLinkTest, ARepeatedRequestIsNotAnsweredByTheRediscoverysAcknowledgements) {
    // As the main window does when boards are found: it sends the clock divider back.
    host.onBoardsFound = [this] { link.SetBusClockDivider(120); };
    Connect();
    Board().dropAnswers = 1;
    host.Script({link::AnswerRetry});
    link.DrainInput();  // as every caller does before a request
    std::uint8_t value = 0;
    EXPECT_EQ(link.ReadRegisters(kChip, 0x07, 1, {&value, 1}, false), link::StatusOk);
    EXPECT_EQ(value, 0xCC);
    EXPECT_EQ(link.ReadRegisters(kChip, 0x08, 1, {&value, 1}, false), link::StatusOk);
    EXPECT_EQ(value, 0xCC) << "every later answer belongs to its own request";
}

}  // namespace
}  // namespace vrq::test

namespace vrq::test {
namespace {

// At a real board's pace the set commands' acknowledgements arrive a couple of milliseconds
// after the command, later than a plain drain waits.
class BoardLinkAtBoardPace : public BoardLinkTest {
  protected:
    void SetUp() override {
        BoardLinkTest::SetUp();
        sim.SetZeroLatency(false);
    }
};

TEST_F(BoardLinkAtBoardPace, AQueryRightAfterASetCommandGetsItsOwnAnswer) {
    Connect();
    link.SetLed(1);
    link.SetBusClockDivider(100);
    const auto busClock = link.ReadBusClock();
    ASSERT_TRUE(busClock);
    EXPECT_EQ(busClock->baseMHz, 12);
    EXPECT_EQ(busClock->divider, 100);
    EXPECT_EQ(link.ReadLed(), 1);
}

TEST_F(BoardLinkAtBoardPace, ARetriedRequestAndTheNextOneGetTheirOwnAnswers) {
    host.onBoardsFound = [this] { link.SetBusClockDivider(120); };
    Connect();
    link.DrainInput();
    Board().dropAnswers = 1;
    host.Script({link::AnswerRetry});
    std::uint8_t value = 0;
    EXPECT_EQ(link.ReadRegisters(kChip, 0x07, 1, {&value, 1}, false), link::StatusOk);
    EXPECT_EQ(value, 0xCC);
    link.DrainInput();
    EXPECT_EQ(link.ReadRegisters(kChip, 0x03, 1, {&value, 1}, false), link::StatusOk);
    EXPECT_EQ(value, 0x12);
}

}  // namespace
}  // namespace vrq::test
