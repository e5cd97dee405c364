#include "sim/chip_model.h"

#include <algorithm>

#include "device/register_map.h"

namespace vrq::sim {

namespace {

// Register addresses with behaviour of their own.
constexpr std::uint8_t kRegDeviceId = 0x00;
constexpr std::uint8_t kRegChannelActivity = 0x01;
constexpr std::uint8_t kRegChannelSelect = 0x02;
constexpr std::uint8_t kRegOutputOptions = 0x05;
constexpr std::uint8_t kRegTest = 0x09;
constexpr std::uint8_t kRegErrorCount0 = 0x0A;
constexpr std::uint8_t kRegErrorCount2 = 0x0C;

// Register 0x02 bits.
constexpr std::uint8_t kResetBit = 0x10;
constexpr std::uint8_t kAutoSelectBit = 0x04;
constexpr std::uint8_t kChannelBits = 0x03;
constexpr std::uint8_t kChannelSelectUsed = 0x3F;  // 7:6 not used

constexpr std::uint8_t kPrbsCheckerBit = 0x04;  // register 0x09 bit 2
// Errors added to each link's counter per transfer: 0..kPrbsErrorSpread-1.
constexpr std::uint32_t kPrbsErrorSpread = 4;

// Result of a transfer whose address byte nobody acknowledged; the board passes it on.
constexpr std::uint8_t kNoAcknowledge = 2;

// Bits that exist in each register; the rest read 0 whatever was written.
std::uint8_t UsedBits(std::uint8_t reg) {
    switch (reg) {
        case kRegChannelActivity:
            return 0x0F;
        case kRegChannelSelect:
            return kChannelSelectUsed & static_cast<std::uint8_t>(~kResetBit);
        case kRegOutputOptions:
            return 0x0F;
        case kRegTest:
            return 0x07;
        default:
            return 0xFF;
    }
}

bool IsErrorCounter(std::uint8_t reg) {
    return reg >= kRegErrorCount0 && reg <= kRegErrorCount2;
}

}  // namespace

ChipModel::ChipModel(std::uint8_t address7, std::uint32_t seed) : address7_(address7), rng_(seed) {
    PowerOn();
}

void ChipModel::PowerOn() {
    for (std::size_t reg = 0; reg < kChipRegisterCount; ++reg) {
        regs_[reg] = device::ResetValue(static_cast<std::uint8_t>(reg));
    }
    UpdateChannelSelect();
}

void ChipModel::SetActiveClocks(std::uint8_t mask) {
    activeClocks_ = mask & UsedBits(kRegChannelActivity);
    UpdateChannelSelect();
}

std::uint8_t ChipModel::Read(std::uint8_t addressByte, std::uint8_t first,
                             std::span<std::uint8_t> out) {
    CountPrbsErrors();
    if (!acknowledge_ || (addressByte >> 1) != address7_) {
        return kNoAcknowledge;
    }
    std::uint8_t reg = first;
    for (auto& value : out) {
        value = ReadOne(reg++);
    }
    // The counters clear once the read is over, so a burst returns what they held.
    reg = first;
    for (std::size_t i = 0; i < out.size(); ++i, ++reg) {
        if (IsErrorCounter(reg)) {
            regs_[reg] = 0;
        }
    }
    return 0;
}

std::uint8_t ChipModel::Write(std::uint8_t addressByte, std::uint8_t first,
                              std::span<const std::uint8_t> data) {
    CountPrbsErrors();
    if (!acknowledge_ || (addressByte >> 1) != address7_) {
        return kNoAcknowledge;
    }
    std::uint8_t reg = first;
    for (const auto value : data) {
        writeLog_.push_back({reg, value});
        WriteOne(reg++, value);
    }
    return 0;
}

std::uint8_t ChipModel::Peek(std::uint8_t reg) const {
    switch (reg) {
        case kRegDeviceId:
            return deviceId_;
        case kRegChannelActivity:
            return activeClocks_;
        default:
            return reg < kChipRegisterCount ? regs_[reg] : 0;
    }
}

void ChipModel::Poke(std::uint8_t reg, std::uint8_t value) {
    switch (reg) {
        case kRegDeviceId:
            deviceId_ = value;
            break;
        case kRegChannelActivity:
            SetActiveClocks(value);
            break;
        default:
            if (reg < kChipRegisterCount) {
                regs_[reg] = value;
            }
    }
}

std::uint8_t ChipModel::ReadOne(std::uint8_t reg) {
    return Peek(reg);
}

void ChipModel::WriteOne(std::uint8_t reg, std::uint8_t value) {
    if (reg >= kChipRegisterCount || device::IsReadOnly(reg)) {
        return;  // read only, or no register there
    }
    if (reg == kRegChannelSelect && (value & kResetBit) != 0) {
        // The reset completes before the next byte arrives; the written value is lost.
        PowerOn();
        return;
    }
    if (reg == kRegChannelSelect && (value & kAutoSelectBit) != 0) {
        // While the selection is automatic the channel bits are the chip's, not the writer's.
        value = static_cast<std::uint8_t>((value & ~kChannelBits) | (regs_[reg] & kChannelBits));
    }
    regs_[reg] = value & UsedBits(reg);
    if (reg == kRegChannelSelect) {
        UpdateChannelSelect();
    }
}

void ChipModel::UpdateChannelSelect() {
    std::uint8_t& select = regs_[kRegChannelSelect];
    if ((select & kAutoSelectBit) == 0 || activeClocks_ == 0) {
        return;  // no active channel: the last selection stays
    }
    std::uint8_t channel = 0;
    while ((activeClocks_ & (1u << channel)) == 0) {
        ++channel;
    }
    select = static_cast<std::uint8_t>((select & ~kChannelBits) | channel);
}

void ChipModel::CountPrbsErrors() {
    if ((regs_[kRegTest] & kPrbsCheckerBit) == 0) {
        return;
    }
    for (std::uint8_t reg = kRegErrorCount0; reg <= kRegErrorCount2; ++reg) {
        // The raw engine output, not a distribution: its sequence is fixed by the standard,
        // so counts are the same with every library.
        const auto errors = rng_() % kPrbsErrorSpread;
        regs_[reg] = static_cast<std::uint8_t>(std::min<std::uint32_t>(0xFF, regs_[reg] + errors));
    }
}

}  // namespace vrq::sim
