#include "sim/chip_model.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "sim/virtual_clock.h"

namespace vrq::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kWriteAddress = device::kDefaultChipAddressByte;
constexpr std::uint8_t kReadAddress = 0x89;

Bytes ReadRegs(ChipModel& chip, std::uint8_t first, std::size_t count) {
    Bytes values(count, 0xEE);
    EXPECT_EQ(chip.Read(kReadAddress, first, values), 0);
    return values;
}

void WriteRegs(ChipModel& chip, std::uint8_t first, const Bytes& data) {
    EXPECT_EQ(chip.Write(kWriteAddress, first, data), 0);
}

TEST(ChipModel, PowerOnValuesInOneBurstReadingZeroPastTheLastRegister) {
    ChipModel chip;
    EXPECT_EQ(ReadRegs(chip, 0x00, 0x18),
              (Bytes{0x31, 0x00, 0x0C, 0x12, 0x00, 0x00, 0x00, 0xCC, 0xCC, 0x00, 0x00, 0x00,
                     0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST(ChipModel, WritesAutoIncrementAndAreLoggedAsWritten) {
    ChipModel chip;
    WriteRegs(chip, 0x14, {0xA1, 0xA2, 0xA3, 0xA4});  // 0x16 and 0x17 do not exist
    EXPECT_EQ(ReadRegs(chip, 0x14, 4), (Bytes{0xA1, 0xA2, 0x00, 0x00}));
    // Read-only and unused bits: the chip keeps what it can, the log what was sent.
    WriteRegs(chip, 0x00, {0xFF, 0xFF, 0xCC});
    WriteRegs(chip, 0x05, {0xFF});
    WriteRegs(chip, 0x09, {0xFB});
    EXPECT_EQ(ReadRegs(chip, 0x00, 3), (Bytes{0x31, 0x00, 0x0C}));
    EXPECT_EQ(chip.Peek(0x05), 0x0F);
    EXPECT_EQ(chip.Peek(0x09), 0x03);
    const auto& log = chip.WriteLog();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[3].reg, 0x17);
    EXPECT_EQ(log[4].reg, 0x00);
    EXPECT_EQ(log[4].value, 0xFF);
    EXPECT_EQ(log[8].value, 0xFB);
}

TEST(ChipModel, ChannelSelectFollowsTheActiveClockByPriority) {
    ChipModel chip;
    chip.SetActiveClocks(0x1C);  // C and D, plus a bit that does not exist
    EXPECT_EQ(ReadRegs(chip, 0x01, 2), (Bytes{0x0C, 0x0E}));
    chip.SetActiveClocks(0x0F);
    WriteRegs(chip, 0x02, {0x07});  // auto-select on: bits 1:0 are the chip's
    EXPECT_EQ(ReadRegs(chip, 0x02, 1), Bytes{0x04});
    chip.SetActiveClocks(0x00);  // nothing active: the selection stays
    EXPECT_EQ(ReadRegs(chip, 0x02, 1), Bytes{0x04});
    WriteRegs(chip, 0x02, {0x0F});  // and cannot be written while selection is automatic
    EXPECT_EQ(ReadRegs(chip, 0x02, 1), Bytes{0x0C});
    chip.SetActiveClocks(0x08);
    WriteRegs(chip, 0x02, {0x01});  // auto-select off: the written channel holds
    EXPECT_EQ(ReadRegs(chip, 0x02, 1), Bytes{0x01});
    WriteRegs(chip, 0x02, {0x04});
    EXPECT_EQ(ReadRegs(chip, 0x02, 1), Bytes{0x07});
}

TEST(ChipModel, ResetBitRestoresPowerOnValuesAndClearsItself) {
    ChipModel chip;
    chip.SetDeviceId(0x32);
    WriteRegs(chip, 0x03, {0x92, 0x00, 0x00, 0x00, 0x11});
    WriteRegs(chip, 0x02, {0x3C, 0x55});  // reset, then the next byte lands on 0x03
    EXPECT_EQ(ReadRegs(chip, 0x00, 8), (Bytes{0x32, 0x00, 0x0C, 0x55, 0x00, 0x00, 0x00, 0xCC}));
}

TEST(ChipModel, PrbsCountersCountWhileEnabledSaturateAndClearOnRead) {
    // Counting goes with time, not with transfers: a clock that moves only when told.
    sim::VirtualClock clock;
    ChipModel chip(kDefaultChipAddress7, 1, clock);
    ChipModel twin(kDefaultChipAddress7, 1, clock);
    for (ChipModel* c : {&chip, &twin}) {
        c->SetCables({{{true, 0x9}}});  // A needs 0x9; 0xC is one step outside the window
    }
    clock.Advance(std::chrono::seconds(1));
    EXPECT_EQ(ReadRegs(chip, 0x0A, 3), (Bytes{0, 0, 0})) << "checker off";

    WriteRegs(chip, 0x09, {0x04});
    WriteRegs(twin, 0x09, {0x04});
    for (int i = 0; i < 20; ++i) {
        ReadRegs(chip, 0x00, 1);  // transfers without time passing count nothing
    }
    EXPECT_EQ(chip.Peek(0x0A), 0);
    clock.Advance(std::chrono::seconds(1));
    ReadRegs(chip, 0x00, 1);
    ReadRegs(twin, 0x00, 1);
    const std::uint8_t link0 = chip.Peek(0x0A);
    EXPECT_GT(link0, 0);
    EXPECT_EQ(twin.Peek(0x0A), link0);  // seeded: the same run counts the same
    const Bytes middle = ReadRegs(chip, 0x0B, 1);
    EXPECT_EQ(middle[0], twin.Peek(0x0B));  // the count before clearing
    EXPECT_EQ(chip.Peek(0x0B), 0);
    EXPECT_EQ(chip.Peek(0x0A), link0);  // not part of the read: kept

    chip.Poke(0x0C, 0xFE);
    clock.Advance(std::chrono::seconds(30));
    EXPECT_EQ(ReadRegs(chip, 0x0A, 3), (Bytes{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(chip.Peek(0x0A) | chip.Peek(0x0B) | chip.Peek(0x0C), 0);

    WriteRegs(chip, 0x09, {0x00});
    clock.Advance(std::chrono::seconds(30));
    EXPECT_EQ(ReadRegs(chip, 0x0A, 3), (Bytes{0, 0, 0}));
}

TEST(ChipModel, AnswersOnlyItsOwnAddressWhileAcknowledging) {
    ChipModel chip;
    Bytes values(2, 0xEE);
    const Bytes data{0x55};
    EXPECT_NE(chip.Read(0x8B, 0x00, values), 0);
    EXPECT_NE(chip.Write(0x8A, 0x03, data), 0);
    EXPECT_EQ(values, (Bytes{0xEE, 0xEE}));
    EXPECT_EQ(chip.Peek(0x03), 0x12);
    EXPECT_TRUE(chip.WriteLog().empty());

    chip.SetAddress7(0x45);
    EXPECT_NE(chip.Read(kReadAddress, 0x00, values), 0);
    EXPECT_EQ(chip.Read(0x8B, 0x00, values), 0);
    chip.SetAcknowledge(false);
    EXPECT_NE(chip.Read(0x8B, 0x00, values), 0);
    EXPECT_NE(chip.Write(0x8A, 0x03, data), 0);
    EXPECT_EQ(chip.Peek(0x03), 0x12);
}

}  // namespace
}  // namespace vrq::sim

namespace vrq::sim {
namespace {

// The simulated chip takes its facts from the register map: identification, reset values,
// and which registers a write cannot change.
TEST(ChipModel, HoldsTheRegisterMapsFacts) {
    ChipModel chip;
    EXPECT_EQ(chip.Peek(0x00), device::kDeviceId);
    for (std::uint8_t reg = 0; reg < device::kRegisterCount; ++reg) {
        EXPECT_EQ(chip.Peek(reg), device::ResetValue(reg)) << int{reg};
        // Bit 0 alone: no reset, no automatic selection, no error checker.
        const std::uint8_t before = chip.Peek(reg);
        WriteRegs(chip, reg, {before == 0x01 ? std::uint8_t{0x00} : std::uint8_t{0x01}});
        EXPECT_EQ(chip.Peek(reg) == before, device::IsReadOnly(reg)) << "register " << int{reg};
    }
}

}  // namespace
}  // namespace vrq::sim
