#include "device/register_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

namespace vrq::device {
namespace {

std::string AddressText(unsigned address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", address);
    return text;
}

TEST(RegisterTexts, LineCountsAndBoundaryLines) {
    struct Expected {
        std::size_t lines;
        std::string_view first;
        std::string_view lastWithText;
    };
    const Expected expected[] = {
        {12, "Register 0x00, Device ID and Revision",
         "     a value of 3... future revisions of silicon"},
        {11, "Register 0x01, Channel Activity",
         "Bit 0 indicates the TMDS clock for channel A is active."},
        {24, "Register 0x02, Channel Select",
         "bits [1:0] are read only when channel selection is automatic."},
        {36, "Register 0x03, Input Control",
         "A high tristates the un-selected clock inputs to save power. Do not use this option in "
         "crosspoint configuration as we don't know what channels have been selected."},
        {16, "Register 0x04, Termination Control",
         "A high sets the input termination to 100-ohms (Crosspoint mode)."},
        {22, "Register 0x05, Output Options",
         "A high tristates the clock outputs allowing another chip to drive the output pins."},
        {14, "Register 0x06, Output Drive and PreEmphasis",
         "The output current increases by 0.125mA for each increment in value."},
        {12, "Register 0x07, Equalization for Channels B and A",
         "A value of 0xF is maximum boost."},
        {12, "Register 0x08, Equalization for Channels D and C",
         "A value of 0xF is maximum boost."},
        {18, "Register 0x09, Test Registers",
         " 1 1     High Frequency test pattern (1010101010...)"},
        {9, "Register 0x0A, PRBS7 Error counter Link 0",
         "Reading this register clears this register at end of the read."},
        {9, "Register 0x0B, PRBS7 Error counter Link 1",
         "Reading this register clears this register at end of the read."},
        {9, "Register 0x0C, PRBS7 Error counter Link 2",
         "Reading this register clears this register at end of the read."},
        {13, "Register 0x10, PLL Settings", "100KHz  1 1"},
    };
    for (int button = 0; button < 14; ++button) {
        SCOPED_TRACE(button);
        const auto text = TextByButtonIndex(button);
        const Expected& e = expected[button];
        ASSERT_EQ(text.size(), e.lines);
        EXPECT_EQ(text.front(), e.first);
        EXPECT_EQ(text.back(), "");
        EXPECT_EQ(text[text.size() - 2], e.lastWithText);
    }
}

TEST(RegisterTexts, HeadingAndDefaultLineAgreeWithTheTable) {
    for (const RegisterInfo& r : AllRegisters()) {
        if (r.group != RegisterGroup::WorkingSet) {
            continue;
        }
        SCOPED_TRACE(AddressText(r.address));
        ASSERT_TRUE(r.defaultValue.has_value());
        EXPECT_EQ(r.text.front().substr(0, 15), "Register " + AddressText(r.address) + ", ");
        const std::string defaultLine = "Default value = " + AddressText(*r.defaultValue);
        EXPECT_EQ(std::count(r.text.begin(), r.text.end(), defaultLine), 1);
        // The default sits in the text's head, before the first bit description.
        EXPECT_NE(std::find(r.text.begin(), r.text.begin() + 3, defaultLine), r.text.begin() + 3);
    }
}

TEST(RegisterTexts, BlanksQuotesAndMisspellingsAreKept) {
    const auto t00 = TextByButtonIndex(0);
    EXPECT_EQ(t00[9], "     a value of 2 is first revison of silicon");
    const auto t02 = TextByButtonIndex(2);
    EXPECT_EQ(t02[9],
              "Bit 3 (Hardware Channel Select) This bit is normally high. When high, the channel "
              "is selected by I/O pins, \"Auto-Channel Select\" and \"Ch_sel[1:0]\".");
    EXPECT_EQ(t02[13],
              "When this bit is low, channel selection is controlled by bits [1:0 of this "
              "register.");
    EXPECT_EQ(t02[16], "  bit            1 0");
    EXPECT_EQ(t02[17], "channel A  0 0");
    const auto t03 = TextByButtonIndex(3);
    EXPECT_EQ(t03[1], "");
    EXPECT_EQ(t03[6],
              "Calibration is automatically done after poer-on, so this function is not "
              "needed in normal opertion.");
    EXPECT_EQ(t03[9], " A low sets the input hysterisis as 10mV.");
    const auto t09 = TextByButtonIndex(9);
    EXPECT_EQ(t09[13], " 0 0     Disabled");
    const auto t10 = TextByButtonIndex(13);
    EXPECT_EQ(t10[7], " bit          1 0");
    EXPECT_EQ(t10[8], "4MHz     0 0");
}

TEST(RegisterCaptions, EveryCaptionEndsInItsOwnAddress) {
    int captions = 0;
    for (const RegisterInfo& r : AllRegisters()) {
        if (r.caption.empty()) {
            continue;
        }
        ++captions;
        SCOPED_TRACE(r.caption);
        const std::string suffix = "(" + AddressText(r.address) + ")";
        ASSERT_GE(r.caption.size(), suffix.size());
        EXPECT_EQ(r.caption.substr(r.caption.size() - suffix.size()), suffix);
        EXPECT_EQ(CaptionAddressText(r.caption), AddressText(r.address));
    }
    EXPECT_EQ(captions, 19);

    EXPECT_EQ(FindRegister(0x02)->caption, "Channel Select  (0x02)");
    EXPECT_EQ(CaptionAddressText(FindRegister(0x02)->caption), "0x02");
    EXPECT_EQ(CaptionAddressText(FindRegister(0x10)->caption), "0x10");
    EXPECT_EQ(CaptionAddressText("(0x"), "");
}

TEST(RegisterLookups, LabelIndices) {
    // The register file writer takes the address from the label whose index is the register's
    // address: for the working set that must be the register's own label.
    for (std::uint8_t a : WorkingSetAddresses()) {
        const auto caption = CaptionByLabelIndex(a);
        ASSERT_TRUE(caption.has_value()) << int(a);
        EXPECT_EQ(CaptionAddressText(*caption), AddressText(a));
    }
    // The test tab's labels are numbered in an order of their own.
    const std::pair<int, unsigned> testTab[] = {
        {13, 0x13}, {14, 0x11}, {15, 0x12}, {17, 0x14}, {18, 0x15}};
    for (const auto& [label, address] : testTab) {
        ASSERT_TRUE(CaptionByLabelIndex(label).has_value()) << label;
        EXPECT_EQ(CaptionAddressText(*CaptionByLabelIndex(label)), AddressText(address));
        EXPECT_EQ(FindRegister(static_cast<std::uint8_t>(address))->labelIndex, label);
    }
    EXPECT_FALSE(CaptionByLabelIndex(-1).has_value());
    EXPECT_FALSE(CaptionByLabelIndex(19).has_value());
}

TEST(RegisterLookups, ButtonIndices) {
    for (int button = 0; button <= 12; ++button) {
        EXPECT_EQ(AddressByButtonIndex(button), button);
    }
    EXPECT_EQ(AddressByButtonIndex(13), 0x10);
    EXPECT_EQ(ButtonCaption(13), "PLL Settings");
    EXPECT_EQ(ButtonCaption(10), "Error Counter - Link 0");
    EXPECT_EQ(TextByButtonIndex(13).data(), FindRegister(0x10)->text.data());
    for (int outside : {-1, 14, 16}) {
        EXPECT_FALSE(AddressByButtonIndex(outside).has_value()) << outside;
        EXPECT_FALSE(ButtonCaption(outside).has_value()) << outside;
        EXPECT_TRUE(TextByButtonIndex(outside).empty()) << outside;
    }
}

TEST(RegisterGroups, WhatEachGroupCarries) {
    ASSERT_EQ(AllRegisters().size(), kRegisterCount);
    for (std::size_t i = 0; i < kRegisterCount; ++i) {
        EXPECT_EQ(AllRegisters()[i].address, i);
        EXPECT_EQ(FindRegister(static_cast<std::uint8_t>(i)), &AllRegisters()[i]);
    }
    EXPECT_EQ(FindRegister(0x16), nullptr);
    EXPECT_EQ(FindRegister(0xFF), nullptr);

    for (std::uint8_t a = 0x0D; a <= 0x0F; ++a) {
        const RegisterInfo& r = *FindRegister(a);
        EXPECT_EQ(r.group, RegisterGroup::Unnamed);
        EXPECT_EQ(r.caption, "");
        EXPECT_EQ(r.labelIndex, -1);
        EXPECT_EQ(r.buttonIndex, -1);
        EXPECT_TRUE(r.text.empty());
        EXPECT_EQ(r.boxIndex, a);
    }
    for (std::uint8_t a = 0x11; a <= 0x15; ++a) {
        const RegisterInfo& r = *FindRegister(a);
        EXPECT_EQ(r.group, RegisterGroup::NamedOnly);
        EXPECT_FALSE(r.caption.empty());
        EXPECT_GE(r.labelIndex, 13);
        EXPECT_EQ(r.buttonIndex, -1);
        EXPECT_EQ(r.buttonCaption, "");
        EXPECT_FALSE(r.defaultValue.has_value());
        EXPECT_TRUE(r.fields.empty());
        EXPECT_TRUE(r.text.empty());
    }
}

TEST(RegisterGroups, WorkingSetRunsAndEditableBoxes) {
    const std::vector<std::uint8_t> expected{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                             0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x10};
    EXPECT_EQ(WorkingSetAddresses(), expected);
    std::vector<std::uint8_t> inGroup;
    std::vector<std::uint8_t> readOnly;
    for (const RegisterInfo& r : AllRegisters()) {
        if (r.group == RegisterGroup::WorkingSet) {
            inGroup.push_back(r.address);
            if (!r.editable) {
                readOnly.push_back(r.address);
            }
        }
    }
    EXPECT_EQ(inGroup, expected);
    EXPECT_EQ(readOnly, (std::vector<std::uint8_t>{0x00, 0x01, 0x0A, 0x0B, 0x0C}));
}

}  // namespace
}  // namespace vrq::device
