#include "device/register_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/register_map.h"

namespace vrq::device {
namespace {

const DecodedField& Field(const std::vector<DecodedField>& fields, const std::string& name) {
    for (const DecodedField& f : fields) {
        if (f.name == name) {
            return f;
        }
    }
    static const DecodedField kMissing{"", "<missing>", 0, "", false};
    ADD_FAILURE() << "no field " << name;
    return kMissing;
}

std::vector<std::string> SetBits(std::uint8_t address, std::uint8_t value) {
    std::vector<std::string> names;
    for (const DecodedField& f : DecodeRegister(address, value)) {
        if (f.value != 0) {
            names.push_back(f.name);
        }
    }
    return names;
}

TEST(RegisterDecoder, PowerOnDefaults) {
    const auto id = DecodeRegister(0x00, 0x31);
    EXPECT_EQ(Field(id, "Device ID").value, 3U);
    EXPECT_EQ(Field(id, "Device ID").meaning, "VRQ66200");
    EXPECT_EQ(Field(id, "Device revision").value, 1U);
    EXPECT_EQ(Field(id, "Device revision").meaning, "initial silicon");

    EXPECT_EQ(SetBits(0x02, 0x0C),
              (std::vector<std::string>{"Hardware Channel Select", "Auto Channel Select"}));
    EXPECT_EQ(SetBits(0x03, 0x12),
              (std::vector<std::string>{"Connection Check", "Tri-state Unselected Data In"}));

    const auto pll = DecodeRegister(0x10, 0x10);
    EXPECT_EQ(Field(pll, "Reserved").value, 0b000100U);
    EXPECT_FALSE(Field(pll, "Reserved").flagged);
    EXPECT_EQ(Field(pll, "PLL Bandwidth").meaning, "4 MHz");

    // No working-set default is ever flagged.
    for (const RegisterInfo& r : AllRegisters()) {
        if (r.defaultValue) {
            for (const DecodedField& f : DecodeRegister(r.address, *r.defaultValue)) {
                EXPECT_FALSE(f.flagged) << int(r.address) << ' ' << f.name;
            }
        }
    }
}

TEST(RegisterDecoder, FieldsRecomposeEveryValue) {
    for (std::uint8_t a : WorkingSetAddresses()) {
        for (unsigned value = 0; value < 256; ++value) {
            unsigned recomposed = 0;
            for (const DecodedField& f : DecodeRegister(a, static_cast<std::uint8_t>(value))) {
                const unsigned low = static_cast<unsigned>(
                    std::stoi(f.bits.find(':') == std::string::npos ? f.bits : f.bits.substr(2)));
                recomposed |= f.value << low;
            }
            ASSERT_EQ(recomposed, value) << "register " << int(a);
        }
    }
}

TEST(RegisterDecoder, DriveCurrentsInMilliamps) {
    EXPECT_EQ(DescribeRegister(0x06, 0x35),
              "7:4 Transmit PreEmphasis = 0x3: 0.375 mA\n3:0 Transmit Current = 0x5: 10.625 mA");
    const auto low = DecodeRegister(0x06, 0x00);
    EXPECT_EQ(low[0].meaning, "0 mA");
    EXPECT_EQ(low[1].meaning, "10 mA");
    const auto high = DecodeRegister(0x06, 0xFF);
    EXPECT_EQ(high[0].meaning, "1.875 mA");
    EXPECT_EQ(high[1].meaning, "11.875 mA");
    const auto mid = DecodeRegister(0x06, 0x84);
    EXPECT_EQ(mid[0].meaning, "1 mA");
    EXPECT_EQ(mid[1].meaning, "10.5 mA");
}

TEST(RegisterDecoder, PllReservedBitsAreFlaggedWhenChanged) {
    const auto kept = DecodeRegister(0x10, 0x13);
    EXPECT_EQ(Field(kept, "PLL Bandwidth").meaning, "100 kHz");
    EXPECT_FALSE(Field(kept, "Reserved").flagged);

    for (std::uint8_t changed : {0x00, 0x53, 0x90, 0x14}) {
        const auto fields = DecodeRegister(0x10, changed);
        EXPECT_TRUE(Field(fields, "Reserved").flagged) << int(changed);
        EXPECT_FALSE(Field(fields, "PLL Bandwidth").flagged);
    }
    EXPECT_EQ(DescribeRegister(0x10, 0x52),
              "7:2 Reserved = 0x14: 010100, must be 000100\n1:0 PLL Bandwidth = 0x2: 1 MHz");
}

TEST(RegisterDecoder, EnumeratedFieldsAndSingleBits) {
    const char* channels[] = {"channel A", "channel B", "channel C", "channel D"};
    for (unsigned v = 0; v < 4; ++v) {
        EXPECT_EQ(
            Field(DecodeRegister(0x02, static_cast<std::uint8_t>(v)), "Channel Select").meaning,
            channels[v]);
    }
    EXPECT_EQ(Field(DecodeRegister(0x09, 0x05), "Test Pattern Generator").meaning, "PRBS7");
    EXPECT_EQ(Field(DecodeRegister(0x09, 0x05), "Enable PRBS Checker").meaning, "on");
    EXPECT_EQ(SetBits(0x01, 0x05),
              (std::vector<std::string>{"Channel C clock active", "Channel A clock active"}));
    EXPECT_EQ(Field(DecodeRegister(0x04, 0x80), "DATA term Ch A").meaning,
              "100 ohms (crosspoint mode)");
    EXPECT_EQ(Field(DecodeRegister(0x0B, 0xFF), "PRBS7 Error Counter Link 1").meaning,
              "255 errors (saturated)");
    EXPECT_EQ(DescribeRegister(0x05, 0x09),
              "7:4 Not used = 0x0\n3 Reverse Output Order = 1: crossed order\n"
              "2 Invert Output Polarity = 0: normal\n1 Tristate Data = 0: normal\n"
              "0 Tristate Clock = 1: tri-stated");
}

TEST(RegisterDecoder, RegistersWithoutFields) {
    for (std::uint8_t a : {0x0D, 0x0F, 0x11, 0x15, 0x16, 0xFF}) {
        EXPECT_TRUE(DecodeRegister(a, 0xA5).empty()) << int(a);
        EXPECT_EQ(DescribeRegister(a, 0xA5), "") << int(a);
    }
}

}  // namespace
}  // namespace vrq::device
