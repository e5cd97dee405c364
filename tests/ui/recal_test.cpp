// Termination re-calibration: the pulse on bit 7 of register 0x03 and its box.
#include <QPushButton>

#include "main_window_fixture.h"
#include "panel_keys.h"

namespace vrq::test {
namespace {

class Recal : public MainWindowTest {
  protected:
    void ClickReCal() {
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdReCal")), Qt::LeftButton);
    }
};

TEST_F(Recal, PulsesTheRecalibrateBitAndKeepsTheOtherBits) {
    Start();
    window->Link().I2CAddress = ChipAddressByte();
    // Power-on 0x12, then a register already holding the bit.
    for (const int start : {0x12, 0x92}) {
        Board(0).Chip().Poke(3, static_cast<std::uint8_t>(start));
        Board(0).Chip().ClearWriteLog();
        Board(0).ClearCommands();
        RegBox(3)->setText(QStringLiteral("77"));
        QString during;
        DuringNextPause([&] { during = RegBox(3)->text(); });
        const auto begin = std::chrono::steady_clock::now();
        ClickReCal();
        const auto held = std::chrono::steady_clock::now() - begin;
        EXPECT_EQ(during, QStringLiteral("92")) << start;
        EXPECT_EQ(RegBox(3)->text(), QStringLiteral("12")) << start;
        EXPECT_EQ(Writes(Board(0)), (WriteList{{3, 0x92}, {3, 0x12}})) << start;
        EXPECT_EQ(Board(0).Chip().Peek(3), 0x12);
        EXPECT_GE(held, std::chrono::milliseconds(100));
        // One read, two writes: no read-back.
        ASSERT_EQ(Board(0).Commands().size(), 3u);
        EXPECT_EQ(Board(0).Commands()[0][board::off::kAddress], ChipAddressByte() + 1);
    }
    EXPECT_TRUE(presenter->messages.empty());
}

TEST_F(Recal, NoChipShowsOneMessageAndWritesNothing) {
    Start();
    window->Link().I2CAddress = ChipAddressByte();
    Board(0).Chip().SetAcknowledge(false);
    Board(0).ClearCommands();
    RegBox(3)->setText(QStringLiteral("12"));
    presenter->Script({board::AnswerRetry});
    ClickReCal();
    EXPECT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(Board(0).Commands().size(), 1u);
    EXPECT_TRUE(Writes(Board(0)).empty());
    EXPECT_EQ(RegBox(3)->text(), QStringLiteral("12"));
    EXPECT_EQ(pausePasses, 0);
}

}  // namespace
}  // namespace vrq::test
