// The simulated board as the board link meets it: through the HID transport interface.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <vector>

#include "sim/sim_transport.h"
#include "ui/link/board_link.h"

namespace vrq::sim {
namespace {

using board::ReadOutcome;
using board::Report;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

Report Command(std::initializer_list<std::uint8_t> bytes) {
    Report report{};
    std::copy(bytes.begin(), bytes.end(), report.begin());
    return report;
}

Bytes Head(const Report& report, std::size_t n) {
    return Bytes(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(n));
}

bool AllZero(const Report& report) {
    return report == Report{};
}

class SimBoardTest : public ::testing::Test {
  protected:
    SimBoardTest() {
        sim.SetZeroLatency(true);
        sim.AddOtherDevice(0x046D, 0xC31C, "keyboard");
        board = &sim.AddBoard();
        sim.AddOtherDevice(0x046D, 0xC077, "mouse");
        sim.AddBoard(0x4A);
        device = sim.Open("sim:board0").device;
    }

    Report Exchange(board::HidDevice& dev, const Report& command) {
        Report answer{};
        answer.fill(0xEE);
        EXPECT_TRUE(dev.Write(command));
        EXPECT_EQ(dev.Read(answer, 100), ReadOutcome::Answer);
        return answer;
    }
    Report Exchange(const Report& command) { return Exchange(*device, command); }

    SimTransport sim;
    SimBoard* board = nullptr;
    std::unique_ptr<board::HidDevice> device;
};

TEST_F(SimBoardTest, WorkedExamplesByteForByte) {
    EXPECT_EQ(Head(Exchange(Command({0x00, 0x02, 0x0D, 0x89, 0x00})), 15),
              (Bytes{0x00, 0x00, 0x31, 0x00, 0x0C, 0x12, 0x00, 0x00, 0x00, 0xCC, 0xCC, 0x00, 0x00,
                     0x00, 0x00}));
    EXPECT_TRUE(AllZero(Exchange(Command({0x00, 0x02, 0x01, 0x88, 0x03, 0x12}))));
    ASSERT_EQ(board->Chip().WriteLog().size(), 1u);
    EXPECT_EQ(board->Chip().WriteLog()[0].reg, 0x03);
    EXPECT_EQ(board->Chip().WriteLog()[0].value, 0x12);
    EXPECT_TRUE(AllZero(Exchange(Command({0x00, 0x01, 0x00, 0x01}))));  // LED on, acknowledged
    EXPECT_TRUE(board->Led());
}

TEST_F(SimBoardTest, BoardCommandsAnswerWithTheirFields) {
    EXPECT_EQ(Head(Exchange(Command({0, 0, 1})), 7), (Bytes{0, 0, 0x12, 0x07, 0xD8, 3, 15}));
    EXPECT_EQ(Exchange(Command({0, 1, 1}))[2], 0x05);
    Exchange(Command({0, 1, 0, 0xFF}));
    EXPECT_EQ(Exchange(Command({0, 1, 1}))[2], 0x85);
    Exchange(Command({0, 1, 0, 0}));
    EXPECT_FALSE(board->Led());

    EXPECT_EQ(Head(Exchange(Command({0, 3, 1})), 4), (Bytes{0, 0, 12, 120}));
    EXPECT_TRUE(AllZero(Exchange(Command({0, 3, 0, 60}))));
    EXPECT_EQ(Head(Exchange(Command({0, 3, 1})), 4), (Bytes{0, 0, 12, 60}));

    EXPECT_EQ(Head(Exchange(Command({0, 7, 1})), 2), (Bytes{0, 0xFF}));
    EXPECT_EQ(Head(Exchange(Command({0, 1, 9})), 2), (Bytes{0, 0xFF}));
}

TEST_F(SimBoardTest, I2cRequestsOutsideTheLimitsAreRefusedUntouched) {
    EXPECT_NE(Exchange(Command({0, 2, 0, 0x89, 0}))[1], 0);
    EXPECT_NE(Exchange(Command({0, 2, 63, 0x89, 0}))[1], 0);
    EXPECT_NE(Exchange(Command({0, 2, 60, 0x88, 0x03}))[1], 0);
    const Report refused = Exchange(Command({0, 2, 2, 0x8B, 0x00}));  // nobody at 0x45
    EXPECT_NE(refused[1], 0);
    EXPECT_EQ(refused[2], 0);  // no data with a failed status

    const Report full = Exchange(Command({0, 2, 62, 0x89, 0x00}));
    EXPECT_EQ(full[1], 0);
    EXPECT_EQ(full[2], 0x31);
    EXPECT_EQ(full[63], 0x00);  // register 0x3D: not there
    Report longWrite = Command({0, 2, 59, 0x88, 0x11});
    longWrite[63] = 0x77;
    EXPECT_EQ(Exchange(longWrite)[1], 0);
    EXPECT_EQ(board->Chip().WriteLog().size(), 59u);

    board->SetBaseClockMHz(0);
    EXPECT_NE(Exchange(Command({0, 2, 1, 0x88, 0x03, 0x99}))[1], 0);
    EXPECT_EQ(board->Chip().Peek(0x03), 0x12);
    EXPECT_EQ(board->Commands().size(), 7u);
}

TEST_F(SimBoardTest, CommandsAreSeenBeforeTheyRun) {
    bool ledWhenSeen = true;
    board->onCommand = [&](const Report& command) {
        EXPECT_EQ(command[1], 1);
        ledWhenSeen = board->Led();
    };
    Exchange(Command({0, 1, 0, 1}));
    EXPECT_FALSE(ledWhenSeen);
    EXPECT_EQ(board->Commands().at(0), Command({0, 1, 0, 1}));
}

TEST_F(SimBoardTest, EnumeratesBoardsAmongOtherDevicesInOrder) {
    auto list = sim.Enumerate();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].path, "sim:other0");
    EXPECT_EQ(list[1].path, "sim:board0");
    EXPECT_EQ(list[1].vendorId, board::kBoardVendorId);
    EXPECT_EQ(list[1].productId, board::kBoardProductId);
    EXPECT_EQ(list[2].path, "sim:other1");
    EXPECT_NE(list[2].vendorId, board::kBoardVendorId);
    EXPECT_EQ(list[3].path, "sim:board1");

    sim.SetListEachBoardTwice(true);
    list = sim.Enumerate();
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[2].path, "sim:board0");
    EXPECT_EQ(list[5].path, "sim:board1");

    EXPECT_EQ(sim.Open("sim:board7").failure, board::OpenFailure::Gone);
    sim.SetFailOpen(1, true);
    EXPECT_EQ(sim.Open("sim:board1").failure, board::OpenFailure::Other);
    sim.SetOpenFailure(1, board::OpenFailure::NoPermission);
    EXPECT_EQ(sim.Open("sim:board1").failure, board::OpenFailure::NoPermission);
    auto keyboard = sim.Open("sim:other0").device;
    ASSERT_NE(keyboard, nullptr);
    EXPECT_FALSE(keyboard->Write(Command({0, 0, 1})));
}

TEST_F(SimBoardTest, EveryHandleGetsEveryReportAndEveryCloseIsCounted) {
    auto foreign = sim.OpenAsForeignProgram("sim:board0");
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(sim.OpenHandles(), 2);
    Report answer{};
    EXPECT_TRUE(foreign->Write(Command({0, 3, 1})));
    EXPECT_EQ(device->Read(answer, 0), ReadOutcome::Answer) << "as hidraw: every open file";
    EXPECT_EQ(answer[3], 120);
    foreign.reset();  // what it still held goes with it
    foreign = sim.OpenAsForeignProgram("sim:board0");
    EXPECT_EQ(foreign->Read(answer, 0), ReadOutcome::Timeout);
    foreign.reset();
    device.reset();
    EXPECT_EQ(sim.OpenHandles(), 0);
    EXPECT_EQ(sim.TotalOpens(), 3);
    EXPECT_EQ(sim.TotalCloses(), 3);
}

TEST_F(SimBoardTest, OneProgramOfOursHoldsABoardUntilItClosesIt) {
    auto other = sim.AnotherProgram("vrq66208a-cli");
    const board::OpenResult refused = other->Open("sim:board0");
    EXPECT_EQ(refused.device, nullptr);
    EXPECT_EQ(refused.failure, board::OpenFailure::InUse);
    EXPECT_EQ(refused.holder.find("(process "), refused.holder.find(' ') + 1) << refused.holder;
    EXPECT_EQ(sim.Open("sim:board0").failure, board::OpenFailure::InUse) << "even for itself";
    EXPECT_NE(other->Open("sim:board1").device, nullptr) << "the other board is free";
    device.reset();
    EXPECT_NE(other->Open("sim:board0").device, nullptr);
}

TEST_F(SimBoardTest, InjectedFaults) {
    Report answer{};
    board->failWrites = 1;
    EXPECT_FALSE(device->Write(Command({0, 1, 0, 1})));
    EXPECT_TRUE(board->Commands().empty());
    EXPECT_FALSE(board->Led());

    board->dropAnswers = 1;
    EXPECT_TRUE(device->Write(Command({0, 1, 0, 1})));
    EXPECT_TRUE(board->Led());
    EXPECT_EQ(device->Read(answer, 5), ReadOutcome::Timeout);

    board->lateAnswers = 1;
    board->lateBy = std::chrono::milliseconds(30);
    EXPECT_TRUE(device->Write(Command({0, 3, 1})));
    EXPECT_EQ(device->Read(answer, 0), ReadOutcome::Timeout);
    EXPECT_EQ(device->Read(answer, 2000), ReadOutcome::Answer);
    EXPECT_EQ(answer[3], 120);

    auto second = sim.OpenAsForeignProgram("sim:board0");
    sim.SendUnsolicitedAnswer(0);
    answer.fill(0xEE);
    EXPECT_EQ(device->Read(answer, 0), ReadOutcome::Answer);
    EXPECT_TRUE(AllZero(answer));
    EXPECT_EQ(second->Read(answer, 0), ReadOutcome::Answer);
    EXPECT_EQ(device->Read(answer, 0), ReadOutcome::Timeout);
}

TEST_F(SimBoardTest, UnplugKillsOldHandlesAndPlugAllowsNewOnes) {
    Report answer{};
    EXPECT_TRUE(device->Write(Command({0, 3, 1})));  // its answer is lost with the board
    sim.Unplug(0);
    const auto start = Clock::now();
    EXPECT_EQ(device->Read(answer, 5000), ReadOutcome::Failure);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(device->Write(Command({0, 3, 1})));
    EXPECT_EQ(sim.Enumerate().size(), 3u);
    EXPECT_EQ(sim.Open("sim:board0").failure, board::OpenFailure::Gone);

    sim.Plug(0);
    EXPECT_EQ(sim.Enumerate().size(), 4u);
    EXPECT_EQ(device->Read(answer, 0), ReadOutcome::Failure);
    device.reset();  // the dead handle still holds the board, as a program would
    auto fresh = sim.Open("sim:board0").device;
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(Exchange(*fresh, Command({0, 3, 1}))[2], 12);

    // Pulled while the command runs: the write went out, the answer never comes.
    board->onCommand = [&](const Report&) { sim.Unplug(0); };
    EXPECT_TRUE(fresh->Write(Command({0, 1, 0, 1})));
    EXPECT_EQ(fresh->Read(answer, 100), ReadOutcome::Failure);
    fresh.reset();
    EXPECT_EQ(sim.TotalCloses(), sim.TotalOpens());
}

TEST(SimBoardTiming, AnswersWhenARealBoardWouldAndTimesOutOtherwise) {
    SimTransport sim;
    SimBoard& board = sim.AddBoard();
    auto device = sim.Open("sim:board0").device;
    // 13-register read at 12 MHz / 120: 16 bytes and 3 framing bits of 10 us each.
    const Report read13 = Command({0, 2, 13, 0x89, 0});
    EXPECT_EQ(board.BusTime(read13), std::chrono::microseconds(1470));
    EXPECT_EQ(board.ModelTime(read13), std::chrono::microseconds(3470));
    EXPECT_EQ(board.ModelTime(Command({0, 0, 1})), std::chrono::microseconds(2000));
    board.SetDivider(0);  // counts as 256
    EXPECT_EQ(board.BusTime(Command({0, 2, 1, 0x88, 3, 0})), std::chrono::microseconds(619));
    board.SetDivider(120);

    Report answer{};
    const auto start = Clock::now();
    ASSERT_TRUE(device->Write(read13));
    EXPECT_EQ(device->Read(answer, 1000), ReadOutcome::Answer);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, board.ModelTime(read13));
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));
    EXPECT_EQ(answer[2], 0x31);

    const auto waitStart = Clock::now();
    EXPECT_EQ(device->Read(answer, 20), ReadOutcome::Timeout);
    EXPECT_GE(Clock::now() - waitStart, std::chrono::milliseconds(20));

    sim.SetZeroLatency(true);
    ASSERT_TRUE(device->Write(read13));
    EXPECT_EQ(device->Read(answer, 0), ReadOutcome::Answer);
}

}  // namespace
}  // namespace vrq::sim
