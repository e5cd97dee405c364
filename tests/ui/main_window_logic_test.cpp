// The main window's plain logic: the clock list, the access word, the key codes.
#include <gtest/gtest.h>

#include <algorithm>

#include "ui/main/access_word.h"
#include "ui/main/clock_list.h"
#include "ui/main/key_codes.h"

namespace vrq::ui {
namespace {

TEST(ClockList, TwelveMegahertzWithDivider120) {
    const ClockList list = BuildClockList(12, 120);
    ASSERT_EQ(list.entries.size(), 120U);
    EXPECT_EQ(list.entries[0].text, "100");
    EXPECT_EQ(list.entries[0].divider, 120);
    EXPECT_EQ(list.entries[1].text, "100");  // 119 gives 100 as well: a separate entry
    EXPECT_EQ(list.entries[1].divider, 119);
    EXPECT_EQ(list.entries[2].text, "101");
    EXPECT_EQ(list.entries[118].text, "6000");
    EXPECT_EQ(list.entries[118].divider, 2);
    EXPECT_EQ(list.entries.back().text, "12000");
    EXPECT_EQ(list.entries.back().divider, 1);
    EXPECT_EQ(list.selected, 0U);
}

TEST(ClockList, DividerInForceBelowOneHundredKilohertzSelectsNothing) {
    const ClockList list = BuildClockList(12, 200);
    EXPECT_EQ(list.entries.size(), 120U);
    EXPECT_FALSE(list.selected);
    EXPECT_FALSE(BuildClockList(12, 0).selected);  // no divider 0
}

TEST(ClockList, SelectsTheDividerInForceInsideTheList) {
    const ClockList list = BuildClockList(1, 5);  // 1 MHz: dividers 10 to 1
    ASSERT_EQ(list.entries.size(), 10U);
    ASSERT_TRUE(list.selected);
    EXPECT_EQ(list.entries[*list.selected].divider, 5);
    EXPECT_EQ(list.entries[*list.selected].text, "200");
}

TEST(ClockList, BaseZeroIsEmpty) {
    const ClockList list = BuildClockList(0, 120);
    EXPECT_TRUE(list.entries.empty());
    EXPECT_FALSE(list.selected);
}

TEST(ClockList, EveryBaseByteWorksAndNoDividerAbove255IsOffered) {
    const ClockList forty = BuildClockList(40, 255);
    ASSERT_EQ(forty.entries.size(), 255U);
    EXPECT_EQ(forty.entries.front().divider, 255);
    EXPECT_EQ(forty.entries.front().text, "156");
    EXPECT_EQ(forty.selected, 0U);
    EXPECT_TRUE(std::none_of(forty.entries.begin(), forty.entries.end(),
                             [](const ClockEntry& e) { return e.divider == 0; }));

    const ClockList top = BuildClockList(255, 1);
    ASSERT_EQ(top.entries.size(), 255U);
    EXPECT_EQ(top.entries.front().text, "1000");
    EXPECT_EQ(top.entries.back().text, "255000");
    EXPECT_EQ(top.selected, 254U);
}

TEST(AccessWord, MatchesTheLastFourCharactersInAnyCase) {
    AccessWordMatcher lower;
    EXPECT_FALSE(lower.Append(u'q'));
    EXPECT_FALSE(lower.Append(u'z'));
    EXPECT_FALSE(lower.Append(u'v'));
    EXPECT_TRUE(lower.Append(u'k'));
    EXPECT_FALSE(lower.Append(u'k'));  // only while the text ends in the word

    AccessWordMatcher capitals;
    for (char16_t c : std::u16string_view(u"abcQZV")) {
        EXPECT_FALSE(capitals.Append(c));
    }
    EXPECT_TRUE(capitals.Append(u'K'));

    AccessWordMatcher almost;
    for (char16_t c : std::u16string_view(u"qzvqzv\u212A")) {  // Kelvin sign, not a k
        EXPECT_FALSE(almost.Append(c));
    }
}

TEST(KeyCodes, VirtualKeyCodesAndModifierMask) {
    EXPECT_EQ(VbKeyCode(Qt::Key_A, false), 65);
    EXPECT_EQ(VbKeyCode(Qt::Key_5, false), 53);
    EXPECT_EQ(VbKeyCode(Qt::Key_5, true), 101);
    EXPECT_EQ(VbKeyCode(Qt::Key_Exclam, false), 49);
    EXPECT_EQ(VbKeyCode(Qt::Key_Left, false), 37);
    EXPECT_EQ(VbKeyCode(Qt::Key_Up, false), 38);
    EXPECT_EQ(VbKeyCode(Qt::Key_Right, false), 39);
    EXPECT_EQ(VbKeyCode(Qt::Key_Down, false), 40);
    EXPECT_EQ(VbKeyCode(Qt::Key_PageUp, false), 33);
    EXPECT_EQ(VbKeyCode(Qt::Key_PageDown, false), 34);
    EXPECT_EQ(VbKeyCode(Qt::Key_Backspace, false), 8);
    EXPECT_EQ(VbKeyCode(Qt::Key_Enter, true), 13);
    EXPECT_EQ(VbKeyCode(Qt::Key_Shift, false), 16);
    EXPECT_EQ(VbKeyCode(Qt::Key_Control, false), 17);
    EXPECT_EQ(VbKeyCode(Qt::Key_Minus, false), 189);
    EXPECT_EQ(VbKeyCode(Qt::Key_Minus, true), 109);
    EXPECT_EQ(VbKeyCode(Qt::Key_unknown, false), 0);

    EXPECT_EQ(VbShiftMask(Qt::NoModifier), 0);
    EXPECT_EQ(VbShiftMask(Qt::ShiftModifier | Qt::ControlModifier), 3);
    EXPECT_EQ(VbShiftMask(Qt::AltModifier | Qt::KeypadModifier), 4);
}

}  // namespace
}  // namespace vrq::ui
