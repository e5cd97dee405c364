// Termination re-calibration: the pulse on bit 7 of register 0x03 and its box, on virtual
// time.
#include "main_window_fixture.h"

namespace vrq::test {
namespace {

using Recal = VirtualTimeWindowTest;

TEST_F(Recal, PulsesTheRecalibrateBitAndKeepsTheOtherBits) {
    StartOnChip();
    // Power-on 0x12, then a register already holding the bit.
    for (const int start : {0x12, 0x92}) {
        Chip().Poke(3, static_cast<std::uint8_t>(start));
        Chip().ClearWriteLog();
        Board(0).ClearCommands();
        commandTimes.clear();
        TimeCommands();
        RegBox(3)->setText(QStringLiteral("77"));
        QString during;
        DuringNextPause([&] { during = RegBox(3)->text(); });
        Click("cmdReCal");
        // The bit is high for 0.1 s: the read, at once the first write, the second 0.1 s later.
        EXPECT_EQ(CommandGapsMs(), (std::vector<long>{0, 100})) << start;
        EXPECT_EQ(during, QStringLiteral("92")) << start;
        EXPECT_EQ(RegBox(3)->text(), QStringLiteral("12")) << start;
        EXPECT_EQ(Chip().Peek(3), 0x12);
        // One read, two writes: no read-back.
        EXPECT_EQ(SentTo(Board(0)),
                  (std::vector<Sent>{Read(kChipAddress, 3), Write(kChipAddress, 3, {0x92}),
                                     Write(kChipAddress, 3, {0x12})}))
            << start;
    }
    EXPECT_TRUE(presenter->messages.empty());
}

TEST_F(Recal, NoChipShowsOneMessageAndWritesNothing) {
    StartOnChip();
    Chip().SetAcknowledge(false);
    RegBox(3)->setText(QStringLiteral("12"));
    presenter->Script({link::AnswerRetry});
    Click("cmdReCal");
    EXPECT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(SentTo(Board(0)), (std::vector<Sent>{Read(kChipAddress, 3)}));
    EXPECT_EQ(RegBox(3)->text(), QStringLiteral("12"));
    EXPECT_EQ(pausePasses, 0);
}

}  // namespace
}  // namespace vrq::test
