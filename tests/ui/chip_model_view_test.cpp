// The main window shows the chip model: what another window reads or writes appears in the
// register boxes and the single-register frame at once, so that no key or Tab writes a stale
// value back; a box the user is editing keeps what is typed until its write has gone out.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include <array>

#include "main_window_fixture.h"
#include "ui/margin/frm_link_margin.h"

namespace vrq::test {
namespace {

class ChipModelView : public VirtualTimeWindowTest {
  protected:
    // A write as any other window makes it: through the window's board link.
    void OtherWindowWrites(std::uint8_t reg, std::uint8_t value) {
        ASSERT_EQ(window->Link().WriteRegisters(kChipAddress, reg, 1,
                                                std::array<std::uint8_t, 1>{value}, false),
                  link::StatusOk);
    }
    // Tab as an X server delivers it: the press moves the focus, the release reaches the box
    // that got it.
    void Tab() {
        SendKey(QApplication::focusWidget(), QEvent::KeyPress, Qt::Key_Tab);
        SendKey(QApplication::focusWidget(), QEvent::KeyRelease, Qt::Key_Tab);
    }
};

TEST_F(ChipModelView, WhatOtherWindowsWriteShowsAndTabbingWritesNoStaleValue) {
    StartOnChip();
    Click("cmdReadAllRegisters");
    Click("mnuLinkMargin");
    auto* margin = window->Tools().Find<ui::FrmLinkMargin>();
    ASSERT_NE(margin, nullptr);
    presenter->Script({link::AnswerYes});  // turn the checker on
    QTest::mouseClick(margin->findChild<QPushButton*>("cmdMonitorStart"), Qt::LeftButton);
    ASSERT_EQ(Chip().Peek(0x09), 0x04);
    EXPECT_EQ(RegBox(0x09)->text(), "04");
    OtherWindowWrites(0x07, 0x36);  // as the sweep's Apply does
    EXPECT_EQ(RegBox(0x07)->text(), "36");
    margin->close();

    RegBox(0x10)->setFocus();
    for (int i = 0; i < 14; ++i) {
        Tab();  // each box the Tab arrives in writes its text
    }
    EXPECT_EQ(Chip().Peek(0x07), 0x36);
    EXPECT_EQ(Chip().Peek(0x09), 0x04);
    EXPECT_EQ(RegBox(0x07)->text(), "36");
    EXPECT_EQ(RegBox(0x09)->text(), "04");
}

TEST_F(ChipModelView, ABoxBeingEditedKeepsWhatIsTypedUntilItsWriteHasGoneOut) {
    StartOnChip();
    // A key down, not yet released.
    RegBox(0x07)->setFocus();
    RegBox(0x07)->clear();
    SendKey(RegBox(0x07), QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
    OtherWindowWrites(0x07, 0x36);
    EXPECT_EQ(RegBox(0x07)->text(), "5");

    // Released: the write waits out its pause, while another window writes.
    QString duringPause;
    DuringNextPause([&] {
        OtherWindowWrites(0x07, 0x37);
        duringPause = RegBox(0x07)->text();
    });
    SendKey(RegBox(0x07), QEvent::KeyRelease, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
    EXPECT_EQ(duringPause, "5");
    EXPECT_EQ(Chip().Peek(0x07), 0x05) << "the typed value goes out as it always has";
    EXPECT_EQ(RegBox(0x07)->text(), "05");

    OtherWindowWrites(0x07, 0x38);  // no longer being edited
    EXPECT_EQ(RegBox(0x07)->text(), "38");
}

TEST_F(ChipModelView, ReadsByOthersReachReadOnlyBoxesAndTheFrameOnlyForThisChip) {
    StartOnChip();
    Type("txtRegister", QStringLiteral("3"));
    Click("cmdReadIndividual");
    EXPECT_EQ(Box("txtReadIndividual")->text(), Hex(Chip().Peek(0x03)));

    Chip().Poke(0x0B, 0x2A);
    std::array<std::uint8_t, 3> counters{};
    window->Link().ReadRegistersOnce(kChipAddress, 0x0A, counters.size(), counters);
    EXPECT_EQ(RegBox(0x0B)->text(), "2A");
    OtherWindowWrites(0x03, 0x52);
    EXPECT_EQ(Box("txtReadIndividual")->text(), "52");
    EXPECT_EQ(RegBox(0x03)->text(), "52");

    // Another chip's values are not this chip's.
    Chip().SetAddress7(0x45);
    std::array<std::uint8_t, 1> value{0x11};
    ASSERT_EQ(window->Link().WriteRegistersOnce(0x8A, 0x03, 1, value), link::StatusOk);
    EXPECT_EQ(RegBox(0x03)->text(), "52");
    EXPECT_EQ(Box("txtReadIndividual")->text(), "52");
}

}  // namespace
}  // namespace vrq::test
