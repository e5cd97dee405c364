#include "sim/chip_model.h"

#include <algorithm>
#include <cmath>

#include "device/link_registers.h"
#include "device/register_map.h"

namespace vrq::sim {

namespace {

// Register addresses with behaviour of their own.
constexpr std::uint8_t kRegDeviceId = 0x00;
constexpr std::uint8_t kRegChannelActivity = 0x01;
constexpr std::uint8_t kRegChannelSelect = 0x02;
constexpr std::uint8_t kRegOutputOptions = 0x05;
constexpr std::uint8_t kRegTest = device::kRegTest;
constexpr std::uint8_t kRegErrorCount0 = device::kRegErrorCount0;
constexpr std::uint8_t kRegErrorCount2 = kRegErrorCount0 + device::kLinkCount - 1;

// Register 0x02 bits.
constexpr std::uint8_t kResetBit = 0x10;
constexpr std::uint8_t kAutoSelectBit = 0x04;
constexpr std::uint8_t kChannelBits = 0x03;
constexpr std::uint8_t kChannelSelectUsed = 0x3F;  // 7:6 not used

// Each channel's links count at 0.6 to 1.6 times the cable's rate, and every stretch of time
// at 0.75 to 1.25 times that.
constexpr double kLinkFactorLow = 0.6;
constexpr double kLinkFactorRange = 1.0;
constexpr double kSpreadLow = 0.75;
constexpr double kSpreadRange = 0.5;
// More errors than a counter can hold; bounds what one long stretch adds.
constexpr double kMoreThanFull = 256.0;

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

ChipModel::ChipModel(std::uint8_t address7, std::uint32_t seed, board::Clock& clock)
    : address7_(address7), rng_(seed), clock_(&clock), counted_(clock.Now()) {
    for (auto& channel : linkFactor_) {
        for (auto& factor : channel) {
            factor = kLinkFactorLow + kLinkFactorRange * Uniform();
        }
    }
    PowerOn();
}

double ChipModel::Uniform() {
    // The raw engine output, not a distribution: its sequence is fixed by the standard, so
    // counts are the same with every library.
    return static_cast<double>(rng_()) / 4294967296.0;
}

void ChipModel::PowerOn() {
    for (std::size_t reg = 0; reg < kChipRegisterCount; ++reg) {
        regs_[reg] = device::ResetValue(static_cast<std::uint8_t>(reg));
    }
    UpdateChannelSelect();
}

void ChipModel::SetActiveClocks(std::uint8_t mask) {
    CountPrbsErrors();
    activeClocks_ = mask & UsedBits(kRegChannelActivity);
    for (int channel = 0; channel < device::kChannelCount; ++channel) {
        cables_[static_cast<std::size_t>(channel)].active = (activeClocks_ & (1U << channel)) != 0;
    }
    UpdateChannelSelect();
}

void ChipModel::SetCables(const CableSet& cables) {
    CountPrbsErrors();
    cables_ = cables;
    activeClocks_ = ActiveClockMask(cables);
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
    const board::Clock::TimePoint now = clock_->Now();
    const double seconds = std::chrono::duration<double>(now - counted_).count();
    counted_ = std::max(counted_, now);
    const std::uint8_t select = regs_[kRegChannelSelect];
    if (seconds <= 0.0 || (regs_[kRegTest] & device::kPrbsCheckerBit) == 0 ||
        (select & device::kPowerDownBit) != 0) {
        return;
    }
    const int channel = device::SelectedChannel(select);
    const auto gain = device::GainOf(regs_[device::EqualizerRegister(channel)], channel);
    const double rate = PrbsErrorRate(cables_[static_cast<std::size_t>(channel)], gain,
                                      device::HysteresisOf(regs_[device::kRegInputControl]));
    if (rate <= 0.0) {
        return;
    }
    for (std::size_t link = 0; link < partial_.size(); ++link) {
        const double spread = kSpreadLow + kSpreadRange * Uniform();
        const double errors =
            rate * linkFactor_[static_cast<std::size_t>(channel)][link] * spread * seconds;
        partial_[link] += std::min(errors, kMoreThanFull);
        const double whole = std::floor(partial_[link]);
        partial_[link] -= whole;
        std::uint8_t& counter = regs_[kRegErrorCount0 + link];
        counter =
            static_cast<std::uint8_t>(std::min(double{device::kCounterFull}, counter + whole));
    }
}

}  // namespace vrq::sim
