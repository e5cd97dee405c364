#include "sim/chip_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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
constexpr std::uint8_t kHardwareSelectBit = device::kHardwareSelectBit;
constexpr std::uint8_t kAutoSelectBit = device::kAutoSelectBit;
constexpr std::uint8_t kChannelBits = device::kChannelSelectBits;
constexpr std::uint8_t kChannelSelectUsed = 0x3F;  // 7:6 not used

// Each channel's links count at 0.6 to 1.6 times the cable's rate.
constexpr double kLinkFactorLow = 0.6;
constexpr double kLinkFactorRange = 1.0;
// More errors than a counter can hold: past this a count need not be drawn.
constexpr double kMoreThanFull = 1000.0;
// Below this mean a count is drawn exactly (Knuth); above it from the normal approximation.
constexpr double kExactPoissonBelow = 30.0;

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
    : address7_(address7),
      rng_(seed),
      clock_(&clock),
      counted_(clock.Now()),
      cablesSet_(clock.Now()) {
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

double ChipModel::Poisson(double mean) {
    if (mean <= 0.0) {
        return 0.0;
    }
    if (mean >= kMoreThanFull) {
        return mean;
    }
    if (mean < kExactPoissonBelow) {
        const double limit = std::exp(-mean);
        double product = Uniform();
        double count = 0;
        while (product > limit) {
            product *= Uniform();
            ++count;
        }
        return count;
    }
    // Box-Muller from two raw draws (a library's normal distribution differs between
    // libraries; this does not).
    const double u1 = 1.0 - Uniform();
    const double u2 = Uniform();
    const double normal = std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    return std::max(0.0, std::round(mean + std::sqrt(mean) * normal));
}

std::uint8_t ChipModel::ActiveAt(board::Clock::TimePoint when) const {
    std::uint8_t mask = activeClocks_;
    for (int channel = 0; channel < device::kChannelCount; ++channel) {
        const Cable& cable = cables_[static_cast<std::size_t>(channel)];
        if (cable.dropAfter > 0 &&
            when - cablesSet_ >= std::chrono::duration<double>(cable.dropAfter)) {
            mask = static_cast<std::uint8_t>(mask & ~(1U << channel));
        }
    }
    return mask;
}

std::optional<board::Clock::TimePoint> ChipModel::NextDrop(board::Clock::TimePoint from) const {
    std::optional<board::Clock::TimePoint> next;
    for (const Cable& cable : cables_.channels) {
        if (cable.active && cable.dropAfter > 0) {
            const auto at = cablesSet_ + std::chrono::duration_cast<board::Clock::Duration>(
                                             std::chrono::duration<double>(cable.dropAfter));
            if (at > from && (!next || at < *next)) {
                next = at;
            }
        }
    }
    return next;
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
    cablesSet_ = clock_->Now();
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
            return ActiveAt(counted_);
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
    if (reg == kRegChannelSelect && (value & (kAutoSelectBit | kHardwareSelectBit)) != 0) {
        // While the pins or the chip select, the channel bits are theirs, not the writer's.
        value = static_cast<std::uint8_t>((value & ~kChannelBits) | (regs_[reg] & kChannelBits));
    }
    regs_[reg] = value & UsedBits(reg);
    if (reg == kRegChannelSelect) {
        UpdateChannelSelect();
    }
}

void ChipModel::UpdateChannelSelect() {
    std::uint8_t& select = regs_[kRegChannelSelect];
    const bool pins = (select & kHardwareSelectBit) != 0;
    const bool automatic = pins ? cables_.pinChannel < 0 : (select & kAutoSelectBit) != 0;
    std::uint8_t channel = select & kChannelBits;
    if (automatic) {
        const std::uint8_t active = ActiveAt(counted_);
        if (active == 0) {
            return;  // no active channel: the last selection stays
        }
        channel = 0;
        while ((active & (1U << channel)) == 0) {
            ++channel;
        }
    } else if (pins) {
        channel = static_cast<std::uint8_t>(cables_.pinChannel);
    }
    select = static_cast<std::uint8_t>((select & ~kChannelBits) | channel);
}

void ChipModel::CountPrbsErrors() {
    const board::Clock::TimePoint now = clock_->Now();
    // A source that drops out meanwhile: the time up to then counts at the old selection.
    while (const auto drop = NextDrop(counted_)) {
        if (*drop > now) {
            break;
        }
        CountSpan(std::chrono::duration<double>(*drop - counted_).count());
        counted_ = *drop;
        UpdateChannelSelect();
    }
    CountSpan(std::chrono::duration<double>(now - counted_).count());
    counted_ = std::max(counted_, now);
}

void ChipModel::CountSpan(double seconds) {
    const std::uint8_t select = regs_[kRegChannelSelect];
    if (seconds <= 0.0 || (regs_[kRegTest] & device::kPrbsCheckerBit) == 0 ||
        (select & device::kPowerDownBit) != 0) {
        return;
    }
    const int channel = device::SelectedChannel(select);
    if ((ActiveAt(counted_) & (1U << channel)) == 0) {
        return;  // no clock: the checker has nothing to count on
    }
    const auto gain = device::GainOf(regs_[device::EqualizerRegister(channel)], channel);
    const double ratio = CableBitErrorRatio(cables_[static_cast<std::size_t>(channel)], gain,
                                            device::HysteresisOf(regs_[device::kRegInputControl]));
    if (ratio <= 0.0) {
        return;
    }
    const double bits = characterRateMHz_ * 1.0e6 * device::kBitsPerCharacter * seconds;
    for (std::size_t link = 0; link < device::kLinkCount; ++link) {
        const double mean = ratio * linkFactor_[static_cast<std::size_t>(channel)][link] * bits;
        const double errors = Poisson(mean);
        std::uint8_t& counter = regs_[kRegErrorCount0 + link];
        counter =
            static_cast<std::uint8_t>(std::min(double{device::kCounterFull}, counter + errors));
    }
}

}  // namespace vrq::sim
