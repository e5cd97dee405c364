// The hex conventions and the register panel's decisions, without a window.
#include <gtest/gtest.h>

#include <climits>

#include "board/hex.h"
#include "device/register_decoder.h"
#include "ui/main/hex_text.h"
#include "ui/main/panel_logic.h"

namespace vrq::ui {
namespace {

TEST(HexText, ParseTakesTheLeadingHexDigitsOnly) {
    EXPECT_EQ(board::ParseHexText("3F"), 0x3Fu);
    EXPECT_EQ(board::ParseHexText("c"), 0x0Cu);
    EXPECT_EQ(board::ParseHexText("a5"), 0xA5u);
    EXPECT_EQ(board::ParseHexText("5x"), 0x05u);
    EXPECT_EQ(board::ParseHexText(""), 0u);
    EXPECT_EQ(board::ParseHexText("G1"), 0u);
    EXPECT_EQ(board::ParseHexText(" 1"), 0u);
    EXPECT_EQ(board::ParseHexText("100"), 0x100u);
    EXPECT_EQ(board::ParseHexText("FFFF"), 0xFFFFu);
    EXPECT_EQ(board::ParseHexText("123456789ABCDEF0"), UINT_MAX);
}

TEST(HexText, ABoxByteIsAParsedValueUpToFF) {
    EXPECT_EQ(ParseBoxByte("FF"), std::optional<std::uint8_t>(0xFF));
    EXPECT_EQ(ParseBoxByte(""), std::optional<std::uint8_t>(0));
    EXPECT_EQ(ParseBoxByte("0FF"), std::optional<std::uint8_t>(0xFF));
    EXPECT_EQ(ParseBoxByte("100"), std::nullopt);
    EXPECT_EQ(ParseBoxByte("FFFF"), std::nullopt);
}

TEST(HexText, ByteTextsAreOneOrTwoHexDigits) {
    for (const char* good : {"5", "0c", "FF", "a5"}) {
        EXPECT_TRUE(board::IsHexByteText(good)) << good;
        EXPECT_TRUE(IsRegisterBoxText(good)) << good;
    }
    for (const char* bad : {"G1", "100", "FFFF", "5 ", "-1", "0x"}) {
        EXPECT_FALSE(board::IsHexByteText(bad)) << bad;
        EXPECT_FALSE(IsRegisterBoxText(bad)) << bad;
    }
    // An emptied register box stands for 0; a value box must say what it means.
    EXPECT_FALSE(board::IsHexByteText(""));
    EXPECT_TRUE(IsRegisterBoxText(""));
    EXPECT_EQ(HexText(0x0A), QStringLiteral("0A"));
    EXPECT_EQ(HexText(0xC8), QStringLiteral("C8"));
}

TEST(PanelLogic, HexKeyFilterUpperCasesAndDropsTheRest) {
    const auto filtered = [](int code) {
        auto character = static_cast<char16_t>(code);
        filterHexKey(character);
        return int{character};
    };
    EXPECT_EQ(filtered('a'), 'A');
    EXPECT_EQ(filtered('f'), 'F');
    EXPECT_EQ(filtered('0'), '0');
    EXPECT_EQ(filtered('9'), '9');
    EXPECT_EQ(filtered('E'), 'E');
    EXPECT_EQ(filtered(8), 8);    // Backspace
    EXPECT_EQ(filtered(13), 13);  // Enter
    for (const int dropped : {int{'g'}, int{'G'}, int{' '}, int{'-'}, int{'x'}, 1, 3, 22, 27}) {
        EXPECT_EQ(filtered(dropped), 0) << dropped;
    }
}

TEST(PanelLogic, StepKeysAndModifiers) {
    EXPECT_EQ(StepForKey(Qt::Key_Down), std::optional<std::int16_t>(-1));
    EXPECT_EQ(StepForKey(Qt::Key_Left), std::optional<std::int16_t>(-1));
    EXPECT_EQ(StepForKey(Qt::Key_Up), std::optional<std::int16_t>(1));
    EXPECT_EQ(StepForKey(Qt::Key_Right), std::optional<std::int16_t>(1));
    EXPECT_EQ(StepForKey(Qt::Key_PageDown), std::optional<std::int16_t>(-16));
    EXPECT_EQ(StepForKey(Qt::Key_PageUp), std::optional<std::int16_t>(16));
    for (const Qt::Key other : {Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Shift, Qt::Key_Control,
                                Qt::Key_End, Qt::Key_Home, Qt::Key_Delete, Qt::Key_0, Qt::Key_A}) {
        EXPECT_EQ(StepForKey(other), std::nullopt) << other;
    }
    const Qt::KeyboardModifiers none;
    EXPECT_FALSE(KeyUpStopsForModifiers(none));
    EXPECT_FALSE(KeyUpStopsForModifiers(Qt::KeypadModifier | Qt::MetaModifier));
    EXPECT_TRUE(KeyUpStopsForModifiers(Qt::ShiftModifier));
    EXPECT_TRUE(KeyUpStopsForModifiers(Qt::ControlModifier | Qt::KeypadModifier));
    EXPECT_TRUE(KeyUpStopsForModifiers(Qt::ShiftModifier | Qt::ControlModifier));
    // Alt alone, and with others, goes on.
    EXPECT_FALSE(KeyUpStopsForModifiers(Qt::AltModifier));
    EXPECT_FALSE(KeyUpStopsForModifiers(Qt::AltModifier | Qt::ShiftModifier));
    EXPECT_FALSE(KeyUpStopsForModifiers(Qt::AltModifier | Qt::ShiftModifier | Qt::ControlModifier));
}

TEST(PanelLogic, ToggleWritesTheOtherValueWhenTheRegisterHoldsTheButtonsOwn) {
    // value0 = 0x55, value1 = 0xAA
    EXPECT_EQ(ToggleValue(0, 0x55, 0xAA, 0x55), 0xAA);
    EXPECT_EQ(ToggleValue(0, 0x55, 0xAA, 0xAA), 0x55);
    EXPECT_EQ(ToggleValue(0, 0x55, 0xAA, 0x33), 0x55);
    EXPECT_EQ(ToggleValue(1, 0x55, 0xAA, 0xAA), 0x55);
    EXPECT_EQ(ToggleValue(1, 0x55, 0xAA, 0x55), 0xAA);
    EXPECT_EQ(ToggleValue(1, 0x55, 0xAA, 0x33), 0xAA);
    EXPECT_EQ(ToggleValue(0, 0x77, 0x77, 0x77), 0x77);
    EXPECT_EQ(ToggleValue(1, 0x77, 0x77, 0x12), 0x77);
}

TEST(PanelLogic, IndividualAddressesOutsideTheWorkingSetBecome10) {
    for (unsigned a = 0; a <= 0x0C; ++a) {
        EXPECT_EQ(IndividualRegister(a), a);
    }
    for (const unsigned a : {0x0Du, 0x0Eu, 0x0Fu, 0x10u, 0x11u, 0x15u, 0x16u, 0xFFu, 0x100u}) {
        EXPECT_EQ(IndividualRegister(a), 0x10) << a;
    }
}

TEST(PanelLogic, ToolTipIsTheCaptionThenTheDecodedValue) {
    EXPECT_EQ(RegisterToolTip(0x03, "12"),
              "Input Control (0x03)\n" + device::DescribeRegister(0x03, 0x12));
    EXPECT_EQ(RegisterToolTip(0x03, "c"),
              "Input Control (0x03)\n" + device::DescribeRegister(0x03, 0x0C));
    EXPECT_EQ(RegisterToolTip(0x03, ""), "Input Control (0x03)");
    EXPECT_EQ(RegisterToolTip(0x03, "G1"), "Input Control (0x03)");
    EXPECT_EQ(RegisterToolTip(0x0D, "12"), "");  // no caption
    EXPECT_EQ(RegisterToolTip(0x16, "12"), "");  // no register
}

}  // namespace
}  // namespace vrq::ui
