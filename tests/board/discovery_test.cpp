#include <gtest/gtest.h>

#include "board/hidapi_transport.h"
#include "board_fixture.h"

namespace vrq::test {
namespace {

using link::AnswerCancel;
using link::AnswerRetry;

const char* const kNotFound =
    "Please check USB connection.\r\nVRQ66208A Evaluation Board not found.";

TEST_F(BoardLinkTest, BoardsAreNumberedInEnumerationOrderAmongOtherDevices) {
    sim.AddOtherDevice(0x046D, 0xC31C, "keyboard");
    sim.AddBoard(device::kDefaultChipAddress7);
    sim.AddOtherDevice(0x046D, 0xC077, "mouse");
    sim.AddBoard(0x45);
    link.FindBoards();

    ASSERT_EQ(link.BoardCount(), 2U);
    EXPECT_EQ(link.BoardPath(0), "sim:board0");
    EXPECT_EQ(link.BoardPath(1), "sim:board1");
    EXPECT_EQ(link.CurrentBoard(), 0U);
    EXPECT_EQ(host.boardsFoundCalls, 1);
    EXPECT_EQ(sim.OpenHandles(), 2) << "other HID devices never stay open";
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(BoardLinkTest, ABoardListedOncePerUsagePageIsOpenedOnce) {
    sim.SetListEachBoardTwice(true);
    Connect(2);
    EXPECT_EQ(link.BoardCount(), 2U);
    EXPECT_EQ(sim.OpenHandles(), 2);
}

TEST_F(BoardLinkTest, ABoardThatCannotBeOpenedIsSkippedWithoutAGap) {
    sim.AddBoard();
    sim.AddBoard();
    sim.AddBoard();
    sim.SetFailOpen(1, true);
    link.FindBoards();
    ASSERT_EQ(link.BoardCount(), 2U);
    EXPECT_EQ(link.BoardPath(1), "sim:board2");
}

TEST_F(BoardLinkTest, RediscoveryClosesEveryBoardAndMakesInstanceZeroCurrent) {
    Connect(3);
    ASSERT_TRUE(link.SelectBoard(2));
    link.FindBoards();
    EXPECT_EQ(sim.TotalCloses(), 3);
    EXPECT_EQ(sim.OpenHandles(), 3);
    EXPECT_EQ(link.CurrentBoard(), 0U);
    EXPECT_EQ(host.boardsFoundCalls, 2);
    EXPECT_FALSE(link.SelectBoard(3));
}

TEST_F(BoardLinkTest, NoBoardAsksRetryUntilOneIsPluggedIn) {
    sim.AddBoard();
    sim.Unplug(0);
    host.Script({AnswerRetry, AnswerRetry});
    int asked = 0;
    host.onMessage = [&](const ScriptedHost::Message&) {
        if (++asked == 2) {
            sim.Plug(0);
        }
    };
    link.FindBoards();
    ASSERT_EQ(host.messages.size(), 2U);
    EXPECT_EQ(host.messages[0].text, kNotFound);
    EXPECT_EQ(host.messages[0].title, "VRQ66208A");
    EXPECT_EQ(host.messages[0].buttons, link::MessageButtons::RetryCancel);
    EXPECT_EQ(host.Unanswered(), 0U);
    EXPECT_EQ(link.BoardCount(), 1U);
    EXPECT_EQ(host.boardsFoundCalls, 1);
}

TEST_F(BoardLinkTest, CancelWhileNoBoardIsFoundEndsTheProgram) {
    EXPECT_EXIT(
        {
            host.Script({AnswerCancel});
            link.FindBoards();
        },
        ::testing::ExitedWithCode(kProgramEndedExit), kEndedWithBoardsClosed);
}

TEST_F(BoardLinkTest, CancelDuringRediscoveryClosesTheBoardsOpenBefore) {
    EXPECT_EXIT(
        {
            Connect(2);
            sim.Unplug(0);
            sim.Unplug(1);
            host.Script({AnswerCancel});
            link.FindBoards();
        },
        ::testing::ExitedWithCode(kProgramEndedExit), kEndedWithBoardsClosed);
}

// The real backend on a machine without an evaluation board: the user is asked, and Cancel
// ends the program with nothing left open.
TEST(HidapiDiscovery, WithoutABoardTheUserIsAskedAndCancelEnds) {
    EXPECT_EXIT(
        {
            board::HidapiTransport hid;
            for (const auto& info : hid.Enumerate()) {
                if (info.vendorId == board::kBoardVendorId &&
                    info.productId == board::kBoardProductId) {
                    std::fprintf(stderr, "open handles 0\nprogram ended\n");
                    std::_Exit(kProgramEndedExit);  // a real board is attached: nothing to test
                }
            }
            ScriptedHost host;
            host.Script({AnswerCancel});
            host.onEnd = [&] {
                const bool asked = host.messages.size() == 1 && host.messages[0].text == kNotFound;
                std::fprintf(stderr, "open handles %d\n", asked ? 0 : -1);
            };
            board::ExchangeHub hub;
            link::BoardLink link(hid, host, hub);
            link.FindBoards();
        },
        ::testing::ExitedWithCode(kProgramEndedExit), kEndedWithBoardsClosed);
}

}  // namespace
}  // namespace vrq::test
