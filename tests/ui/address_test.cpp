// The ADDR boxes, the address they make, and scans that end early. Scans that run over most
// of the bus, on virtual time, are in address_scan_test.cpp.
#include <gtest/gtest.h>

#include <functional>

#include "main_window_fixture.h"
#include "ui/main/address_logic.h"

namespace vrq::test {
namespace {

TEST(AddressLogic, BoxIsBitAboveItsNumberAndScanRunsUpTheWriteForms) {
    EXPECT_EQ(ui::AddressFromBoxes({false, true, false, true, false, false, true}), 0x94);
    for (int a = 0; a < 256; ++a) {
        const auto address = static_cast<std::uint8_t>(a);
        EXPECT_EQ(ui::AddressFromBoxes(ui::BoxesFromAddress(address)), a & 0xFE) << a;
    }
    const auto order = ui::ScanOrder();
    EXPECT_EQ(std::vector<int>(order.begin(), order.end()), ProbesUpTo(0xFE));
}

class AddressTest : public MainWindowTest {
  protected:
    // The address the ticked boxes stand for.
    int BoxesAddress() const {
        int address = 0;
        for (const int bit : Ticked()) {
            address |= 2 << bit;
        }
        return address;
    }
    void ClickBit(int bit) { Click(QStringLiteral("chkADDRbit_%1").arg(bit)); }
};

TEST_F(AddressTest, BoxesMakeTheWriteFormAddressWithoutTouchingTheBoard) {
    Start();
    Board(0).ClearCommands();
    EXPECT_EQ(AddressText(), QStringLiteral("00"));
    EXPECT_EQ(I2CAddress(), 0);
    EXPECT_TRUE(Ticked().empty());
    // Each step clicks boxes, then the address they make shows.
    const std::vector<std::pair<std::vector<int>, int>> steps{
        {{0}, 0x02}, {{0, 6}, 0x80}, {{0, 1, 2, 3, 4, 5}, 0xFE}, {{0, 1, 2, 3, 4, 5, 6}, 0x00}};
    for (const auto& [bits, address] : steps) {
        for (const int bit : bits) {
            ClickBit(bit);
        }
        EXPECT_EQ(AddressText(), Hex(address));
        EXPECT_EQ(I2CAddress(), address);
    }
    // The keyboard ticks a box as well.
    AddressBit(3)->setFocus();
    QTest::keyClick(AddressBit(3), Qt::Key_Space);
    EXPECT_EQ(AddressText(), QStringLiteral("10"));

    EXPECT_TRUE(Board(0).Commands().empty());  // choosing an address reads nothing
}

// The clock's set command has left an answer queued, and one more is sent: the scan drains
// them, so each probe reads its own answer.
TEST_F(AddressTest, ScanStopsAtTheChipAndEveryScanStartsAgainAtZero) {
    transport.AddBoard(0x03);
    Start();
    transport.SendUnsolicitedAnswer(0);
    Board(0).ClearCommands();

    for (int scan = 0; scan < 2; ++scan) {  // the second with the address already right
        Click("cmdScanI2Caddress");
        EXPECT_EQ(SentTo(Board(0)), (std::vector<Sent>{Read(0x00, 0x00), Read(0x02, 0x00),
                                                       Read(0x04, 0x00), Read(0x06, 0x00)}));
        EXPECT_EQ(AddressText(), QStringLiteral("06"));
        EXPECT_EQ(I2CAddress(), 0x06);
        EXPECT_EQ(Ticked(), (std::vector<int>{0, 1}));
        Board(0).ClearCommands();
    }
    EXPECT_TRUE(presenter->messages.empty());
}

// Each pause comes after a probe and before its address is shown, and the window answers the
// user in it: a box ticked there holds until the scan's next step sets the boxes again.
TEST_F(AddressTest, DisplayFollowsTheScanAndBoxesWorkInItsPauses) {
    transport.AddBoard(0x03);
    Start();
    Board(0).ClearCommands();

    struct Sample {
        std::size_t probes;
        bool clicked;
        QString text;
        int address;
        int boxes;  // the address the ticked boxes stand for
    };
    std::vector<Sample> samples;
    bool clicked = false;
    std::function<void()> watch = [&] {
        const std::size_t probes = Probes(Board(0)).size();
        samples.push_back({probes, clicked, AddressText(), I2CAddress(), BoxesAddress()});
        if (probes == 3 && !clicked) {
            clicked = true;
            ClickBit(6);
        }
        DuringNextPause(watch);
    };
    DuringNextPause(watch);
    Click("cmdScanI2Caddress");

    ASSERT_FALSE(samples.empty());
    for (const Sample& s : samples) {
        // In the pause of probe n the boxes show the candidate of probe n - 1, or the box
        // the user ticked there.
        int shown = s.probes >= 2 ? static_cast<int>(2 * (s.probes - 2)) : 0;
        if (s.clicked && s.probes == 3) {
            shown |= 0x80;
        }
        EXPECT_EQ(s.text, Hex(shown)) << "in the pause of probe " << s.probes;
        EXPECT_EQ(s.address, shown);
        EXPECT_EQ(s.boxes, shown);
    }
    EXPECT_TRUE(clicked);
    EXPECT_EQ(samples.back().probes, 4U);
    EXPECT_EQ(AddressText(), QStringLiteral("06"));
    EXPECT_EQ(Ticked(), (std::vector<int>{0, 1}));
}

// The board carries one chip: one at 7-bit 0x01 reads another ID and is passed over, then it
// moves to 0x03 and reads 0x31, standing for a second chip further up.
TEST_F(AddressTest, AChipWithAnotherIdIsPassedOver) {
    transport.AddBoard(0x01);
    StartOnChip();
    Chip().SetDeviceId(0x30);
    Board(0).onCommand = [this](const board::Report& command) {
        if (Decoded(command) == Read(0x06, 0x00)) {
            Chip().SetAddress7(0x03);
            Chip().SetDeviceId(0x31);
        }
    };
    Click("cmdScanI2Caddress");
    EXPECT_EQ(Probes(Board(0)), ProbesUpTo(0x06));
    EXPECT_EQ(AddressText(), QStringLiteral("06"));
    EXPECT_TRUE(presenter->messages.empty());
}

// The board runs its bus below 100 kHz here, so the Retry's rediscovery sends no divider (a
// divider sent there is acknowledged, and the repeated probe, which does not drain, would
// take that acknowledgement for its answer).
TEST_F(AddressTest, ATransferFailureInAProbeRepeatsItAfterRetry) {
    transport.AddBoard(0x01).SetDivider(200);
    StartOnChip();
    window->Link().SetAnswerTimeoutMs(20);
    bool armed = true;
    Board(0).onCommand = [&](const board::Report& command) {
        if (armed && Decoded(command).kind == Sent::Kind::Read) {
            armed = false;
            Board(0).dropAnswers = 1;
        }
    };
    presenter->Script({link::AnswerRetry});
    Click("cmdScanI2Caddress");
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text, "Please check USB connection.\r\nUSB ReadFile error.");
    EXPECT_EQ(Probes(Board(0)), (std::vector<int>{0x00, 0x00, 0x02}));
    EXPECT_EQ(AddressText(), QStringLiteral("02"));
}

}  // namespace
}  // namespace vrq::test
