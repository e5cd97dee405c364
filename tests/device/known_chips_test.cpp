// What the model of each chip must never do: show a value no exchange gave, keep a value the
// chip may not hold after a write that failed, or remember a board that closed. Fed through
// the exchange hub by the window's own board link on a simulated board.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "board/exchange_hub.h"
#include "device/known_chips.h"
#include "support/sim_rig.h"

namespace vrq::test {
namespace {

using device::Provenance;

class KnownChipsTest : public ::testing::Test, public SimRig {
  protected:
    void SetUp() override {
        link.SetAnswerTimeoutMs(kShortTimeoutMs);
        Connect(2);
        told = chips.Subscribe(
            [this](device::ChipKey chip, std::uint8_t reg, device::KnownValue known) {
                news.push_back({chip, reg, known});
            });
    }
    device::KnownValue Known(std::uint8_t reg, int board = 0,
                             std::uint8_t address7 = device::kDefaultChipAddress7) const {
        return chips.Get({board, address7}, reg);
    }
    link::Status Write(std::uint8_t reg, std::uint8_t value) {
        return link.WriteRegistersOnce(kChip, reg, 1, std::array<std::uint8_t, 1>{value});
    }
    link::Status Read(std::uint8_t first, std::size_t count) {
        std::vector<std::uint8_t> values(count);
        return link.ReadRegistersOnce(kChip, first, count, values);
    }

    struct News {
        device::ChipKey chip;
        std::uint8_t reg;
        device::KnownValue known;
    };
    device::KnownChips chips;
    board::ScopedObserver fed{hub, chips};
    device::KnownChips::Changes::Subscription told;
    std::vector<News> news;
};

TEST_F(KnownChipsTest, NothingIsKnownThatNoExchangeGave) {
    EXPECT_EQ(Known(0x07).source, Provenance::Never);
    Chip().SetAcknowledge(false);
    EXPECT_EQ(Read(0x00, 13), link::StatusDeviceError);
    EXPECT_TRUE(news.empty()) << "a read the chip refused says nothing";
    Chip().SetAcknowledge(true);

    EXPECT_EQ(Read(0x00, 13), link::StatusOk);
    EXPECT_EQ(news.size(), 13U);
    EXPECT_EQ(Known(0x07).source, Provenance::Read);
    EXPECT_EQ(Known(0x07).value, Chip().Peek(0x07));
    EXPECT_EQ(Known(0x07).at, clock.Now());
    EXPECT_EQ(Known(0x10).source, Provenance::Never) << "not in the burst";
    EXPECT_EQ(Known(0x07, 1).source, Provenance::Never) << "the other board's chip";
    EXPECT_EQ(Known(0x07, 0, 0x45).source, Provenance::Never) << "another address";
}

// A write that may or may not have reached the chip leaves its register unknown, never the
// value before nor the value sent; the next read tells again.
TEST_F(KnownChipsTest, AWriteThatFailedLeavesTheRegisterUnknown) {
    ASSERT_EQ(Write(0x07, 0x36), link::StatusOk);
    EXPECT_EQ(Known(0x07).source, Provenance::Written);
    EXPECT_EQ(Known(0x07).value, 0x36);

    Chip().SetAcknowledge(false);
    EXPECT_EQ(Write(0x07, 0x32), link::StatusDeviceError);
    EXPECT_EQ(Known(0x07).source, Provenance::Unknown) << "refused";
    Chip().SetAcknowledge(true);

    ASSERT_EQ(Read(0x07, 1), link::StatusOk);
    EXPECT_EQ(Known(0x07).source, Provenance::Read);
    Board().dropAnswers = 1;
    EXPECT_EQ(Write(0x07, 0x33), link::StatusReadFailed);
    EXPECT_EQ(Known(0x07).source, Provenance::Unknown) << "unanswered";

    // A read whose answer was lost may still have cleared the error counters.
    ASSERT_EQ(Read(0x09, 4), link::StatusOk);
    Board().dropAnswers = 1;
    EXPECT_EQ(Read(0x09, 4), link::StatusReadFailed);
    EXPECT_EQ(Known(0x09).source, Provenance::Read);
    for (std::uint8_t counter : {0x0A, 0x0B, 0x0C}) {
        EXPECT_EQ(Known(counter).source, Provenance::Unknown) << int{counter};
    }

    // The chip keeps its own identification whatever is written there.
    ASSERT_EQ(Read(0x00, 1), link::StatusOk);
    Write(0x00, 0x99);
    EXPECT_EQ(Known(0x00).source, Provenance::Read);
    EXPECT_EQ(Known(0x00).value, 0x31);
}

TEST_F(KnownChipsTest, ABoardThatClosesIsForgotten) {
    ASSERT_EQ(Read(0x00, 13), link::StatusOk);
    news.clear();
    link.FindBoards();  // as Reconnect and Retry do: the boards close and open again
    EXPECT_EQ(Known(0x03).source, Provenance::Never);
    EXPECT_EQ(news.size(), 13U);
    EXPECT_FALSE(news.front().known.Known());
}

}  // namespace
}  // namespace vrq::test
