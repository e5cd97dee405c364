// The single-register frame: the address rule, the toggle between two values, the read-back
// and its mirror in the register panel, and the boxes that do not hold a byte.
#include "main_window_fixture.h"

namespace vrq::test {
namespace {

class Individual : public MainWindowTest {
  protected:
    void SetUp() override {
        StartOnChip();
        address = Box("txtRegister");
        readBox = Box("txtReadIndividual");
        value = {Box("txtWriteIndividual_0"), Box("txtWriteIndividual_1")};
    }
    void ClickWrite(int index) { Click(QStringLiteral("cmdWriteIndividual_%1").arg(index)); }
    // The register of the last read request.
    int LastReadRegister() {
        const std::vector<Sent> reads = SentTo(Board(0), Sent::Kind::Read);
        return reads.empty() ? -1 : reads.back().first;
    }

    QLineEdit* address = nullptr;
    QLineEdit* readBox = nullptr;
    std::array<QLineEdit*, 2> value{};
};

TEST_F(Individual, AddressesOutsideTheWorkingSetReadRegister10) {
    Chip().Poke(0x0C, 0x21);
    RegBox(16)->setText(QStringLiteral("5A"));
    for (const char* typed : {"0d", "E", "0F", "11", "ff", "10"}) {
        Type(address, QString::fromLatin1(typed));
        Click("cmdReadIndividual");
        EXPECT_EQ(address->text(), QStringLiteral("10")) << typed;
        EXPECT_EQ(LastReadRegister(), 0x10) << typed;
        EXPECT_EQ(readBox->text(), QStringLiteral("10")) << typed;  // power-on value
    }
    Type(address, QStringLiteral("c"));
    EXPECT_EQ(address->text(), QStringLiteral("C"));
    Click("cmdReadIndividual");
    EXPECT_EQ(address->text(), QStringLiteral("0C"));
    EXPECT_EQ(LastReadRegister(), 0x0C);
    EXPECT_EQ(readBox->text(), QStringLiteral("21"));
    // The panel's box shows what the chip was read to hold, not what it showed before.
    EXPECT_EQ(RegBox(16)->text(), QStringLiteral("10"));
    EXPECT_TRUE(Writes(Board(0)).empty());
    EXPECT_TRUE(presenter->messages.empty());
}

TEST_F(Individual, EachButtonTogglesBetweenTheTwoValues) {
    address->setText(QStringLiteral("4"));
    Type(value[0], QStringLiteral("55"));
    Type(value[1], QStringLiteral("aa"));
    Chip().Poke(4, 0x55);
    for (const int button : {0, 0, 1, 1}) {
        ClickWrite(button);
    }
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0xAA}, {4, 0x55}, {4, 0xAA}, {4, 0x55}}));
    EXPECT_EQ(readBox->text(), QStringLiteral("55"));
    EXPECT_EQ(RegBox(4)->text(), QStringLiteral("55"));
    EXPECT_EQ(address->text(), QStringLiteral("04"));
    // The pressed button's box is rewritten as two digits; the other keeps its text.
    EXPECT_EQ(value[1]->text(), QStringLiteral("AA"));
    EXPECT_EQ(value[0]->text(), QStringLiteral("55"));

    // A third value: each button writes its own box's value.
    Chip().ClearWriteLog();
    for (const int button : {0, 1}) {
        Chip().Poke(4, 0x33);
        ClickWrite(button);
    }
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x55}, {4, 0xAA}}));

    // Equal values: that value, whatever the register holds; one digit A is 0x0A.
    Chip().ClearWriteLog();
    Type(value[0], QStringLiteral("a"));
    Type(value[1], QStringLiteral("A"));
    ClickWrite(0);
    ClickWrite(0);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x0A}, {4, 0x0A}}));
    EXPECT_EQ(value[0]->text(), QStringLiteral("0A"));
    EXPECT_EQ(value[1]->text(), QStringLiteral("A"));

    // What the register holds is shown, here and in the panel: 0x05 keeps bits 3:0 only.
    Chip().ClearWriteLog();
    address->setText(QStringLiteral("05"));
    Type(value[1], QStringLiteral("f7"));
    ClickWrite(1);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{5, 0xF7}}));
    EXPECT_EQ(readBox->text(), QStringLiteral("07"));
    EXPECT_EQ(RegBox(5)->text(), QStringLiteral("07"));
    EXPECT_TRUE(presenter->messages.empty());
}

TEST_F(Individual, DeviceErrorsOnTheWriteOrTheReadBack) {
    address->setText(QStringLiteral("07"));
    value[0]->setText(QStringLiteral("11"));
    value[1]->setText(QStringLiteral("22"));
    Chip().Poke(7, 0x44);

    // The write is not acknowledged: its message, then the read-back shows the register.
    Board(0).onCommand = [this](const board::Report& report) {
        Chip().SetAcknowledge(Decoded(report).kind == Sent::Kind::Read);
    };
    presenter->Script({link::AnswerRetry});
    ClickWrite(0);
    EXPECT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(readBox->text(), QStringLiteral("44"));
    EXPECT_EQ(RegBox(7)->text(), QStringLiteral("44"));
    EXPECT_EQ(SentTo(Board(0)),
              (std::vector<Sent>{Read(kChipAddress, 7), Write(kChipAddress, 7, {0x11}),
                                 Read(kChipAddress, 7)}));

    // The read-back is not acknowledged: no message, and both boxes show the value read
    // before the write.
    int commands = 0;
    Board(0).onCommand = [this, &commands](const board::Report&) {
        Chip().SetAcknowledge(++commands != 3);
    };
    ClickWrite(1);
    EXPECT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{7, 0x22}}));
    EXPECT_EQ(readBox->text(), QStringLiteral("44"));
    EXPECT_EQ(RegBox(7)->text(), QStringLiteral("44"));

    // The first read fails: nothing is written, the read box keeps its text.
    Board(0).onCommand = nullptr;
    Chip().SetAcknowledge(false);
    Chip().ClearWriteLog();
    Board(0).ClearCommands();
    address->setText(QStringLiteral("E"));
    presenter->Script({link::AnswerRetry});
    ClickWrite(1);
    EXPECT_EQ(presenter->messages.size(), 2u);
    EXPECT_EQ(SentTo(Board(0)), (std::vector<Sent>{Read(kChipAddress, 0x10)}));
    EXPECT_EQ(address->text(), QStringLiteral("10"));
    EXPECT_EQ(readBox->text(), QStringLiteral("44"));
}

TEST_F(Individual, BoxesThatHoldNoByteGetAMessageAndNoBoardAccess) {
    struct Case {
        QLineEdit* box;
        const char* button;
        const char* named;
    };
    const std::vector<Case> cases{
        {address, "cmdReadIndividual", "The Register box"},
        {address, "cmdWriteIndividual_0", "The Register box"},
        {value[1], "cmdWriteIndividual_0", "The value box of the left Write button"},
        {value[0], "cmdWriteIndividual_1", "The value box of the right Write button"},
    };
    for (const Case& c : cases) {
        c.box->clear();
        presenter->Script({link::AnswerOk});
        Click(c.button);
        ASSERT_FALSE(presenter->messages.empty());
        const auto& message = presenter->messages.back();
        EXPECT_EQ(message.text,
                  std::string(c.named) + " must hold one or two hexadecimal digits (00 to FF).");
        EXPECT_EQ(message.buttons, link::MessageButtons::Ok);
        EXPECT_EQ(message.title, "VRQ66208A");
        c.box->setText(QStringLiteral("00"));
    }
    EXPECT_EQ(presenter->messages.size(), cases.size());
    EXPECT_TRUE(Board(0).Commands().empty());

    // Pasting replaces the whole text, and only with a byte.
    value[0]->setText(QStringLiteral("12"));
    value[0]->setCursorPosition(1);
    for (const char* refused : {"G1", "100", ""}) {
        SetClipboard(QString::fromLatin1(refused));
        QTest::keyClick(value[0], Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(value[0]->text(), QStringLiteral("12")) << refused;
    }
    SetClipboard(QStringLiteral("a5"));
    QTest::keyClick(value[0], Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(value[0]->text(), QStringLiteral("a5"));
    address->setText(QStringLiteral("4"));
    ClickWrite(0);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0xA5}}));
    EXPECT_EQ(value[0]->text(), QStringLiteral("A5"));
    // Keys typed into the frame's boxes are filtered.
    Type(address, QStringLiteral("x-9"));
    EXPECT_EQ(address->text(), QStringLiteral("9"));
}

}  // namespace
}  // namespace vrq::test
