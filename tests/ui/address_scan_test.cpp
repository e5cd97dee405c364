// Scans that run over most of the bus, with the 0.1 s pause after every probe, on virtual
// time: the pauses are asserted between the probes the board receives and cost no real time.
#include <gtest/gtest.h>

#include <chrono>

#include "ui/main_window_fixture.h"

namespace vrq::test {
namespace {

using namespace std::chrono_literals;

class AddressScan : public VirtualTimeWindowTest {
  protected:
    // Each probe is followed by its 0.1 s pause, and only by that, before the next goes out.
    void ExpectProbesAPauseApart(std::size_t probes) {
        EXPECT_EQ(commandTimes.size(), probes);
        EXPECT_EQ(CommandGapsMs(), std::vector<long>(probes - 1, 100));
    }
};

TEST_F(AddressScan, FindsTheChipAt4AAfter75Probes) {
    transport.AddBoard(0x4A);
    StartOnChip();
    TimeCommands();
    const auto realStart = std::chrono::steady_clock::now();
    const auto start = virtualClock.Now();
    Click("cmdScanI2Caddress");
    EXPECT_EQ(Probes(Board(0)).size(), 75U);
    EXPECT_EQ(Probes(Board(0)), ProbesUpTo(0x94));
    ExpectProbesAPauseApart(75);
    // The last probe's pause too, before the scan stops there.
    EXPECT_EQ(std::chrono::round<std::chrono::milliseconds>(virtualClock.Now() - start),
              std::chrono::milliseconds(7500 + 1));  // the drain before the first probe: 1 ms
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 5s);
    EXPECT_EQ(AddressText(), QStringLiteral("94"));
    EXPECT_EQ(I2CAddress(), 0x94);
    EXPECT_EQ(Ticked(), (std::vector<int>{1, 3, 6}));
    EXPECT_TRUE(presenter->messages.empty());
}

// The only chip on the bus answers, but with another ID: the scan passes it over and finds
// nothing, asking only after the last probe's pause. No keeps the last candidate; the next
// scan starts at the bottom again.
TEST_F(AddressScan, NothingFoundAsksToCloseAndNoKeepsFE) {
    transport.AddBoard(0x01);
    StartOnChip();
    Chip().SetDeviceId(0x30);
    TimeCommands();
    board::Clock::TimePoint askedAt{};
    presenter->onMessage = [&](const MessageScript::Message&) { askedAt = virtualClock.Now(); };
    presenter->Script({link::AnswerNo});
    Click("cmdScanI2Caddress");

    EXPECT_EQ(Probes(Board(0)), ProbesUpTo(0xFE));
    ExpectProbesAPauseApart(128);
    ASSERT_FALSE(commandTimes.empty());
    EXPECT_EQ(std::chrono::round<std::chrono::milliseconds>(askedAt - commandTimes.back()), 100ms);
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text, "VRQ66208A I2C address not found. Close GUI?");
    EXPECT_EQ(presenter->messages[0].buttons, link::MessageButtons::YesNo);
    EXPECT_EQ(presenter->messages[0].title, "VRQ66208A");
    EXPECT_EQ(AddressText(), QStringLiteral("FE"));
    EXPECT_EQ(I2CAddress(), 0xFE);
    EXPECT_EQ(Ticked(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));

    Chip().SetDeviceId(0x31);
    Board(0).ClearCommands();
    Click("cmdScanI2Caddress");
    EXPECT_EQ(Probes(Board(0)), (std::vector<int>{0x00, 0x02}));
    EXPECT_EQ(AddressText(), QStringLiteral("02"));
    EXPECT_EQ(Ticked(), std::vector<int>{0});
    EXPECT_EQ(presenter->messages.size(), 1U);
}

TEST_F(AddressScan, NothingOnTheBusAndYesEndsTheProgram) {
    AddBoards(1);
    Chip().SetAcknowledge(false);
    Start();
    presenter->Script({link::AnswerYes});
    EXPECT_EXIT(Click("cmdScanI2Caddress"), ::testing::ExitedWithCode(kProgramEndedExit),
                EndedWith(0, true));
}

}  // namespace
}  // namespace vrq::test
