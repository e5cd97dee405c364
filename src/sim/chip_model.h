// The VRQ66208A as the board's I2C bridge sees it: 22 registers with their power-on values
// and behaviour, at a configurable 7-bit address, the board's channel-select pins and the
// cables on its inputs (cable_model.h): its PRBS7 checker counts errors with the passing of
// time on its clock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "board/clock.h"
#include "device/register_map.h"
#include "sim/cable_model.h"

namespace vrq::sim {

using device::kDefaultChipAddress7;
inline constexpr std::size_t kChipRegisterCount = device::kRegisterCount;

class ChipModel {
  public:
    // No cable carries a source until SetCables or SetActiveClocks says otherwise.
    explicit ChipModel(std::uint8_t address7 = kDefaultChipAddress7, std::uint32_t seed = 1,
                       board::Clock& clock = board::Clock::Real());

    // I2C transfers as the bridge runs them. addressByte is the 8-bit form with the R/W bit
    // (bit 0 = 1 read). Result: 0 when the chip acknowledged, non-zero otherwise (the value
    // the board reports in answer byte 1). The register pointer auto-increments.
    std::uint8_t Read(std::uint8_t addressByte, std::uint8_t first, std::span<std::uint8_t> out);
    std::uint8_t Write(std::uint8_t addressByte, std::uint8_t first,
                       std::span<const std::uint8_t> data);

    void PowerOn();  // every register to its power-on value
    void SetAddress7(std::uint8_t address7) { address7_ = address7; }
    // False: the chip acknowledges nothing (absent, or held in reset).
    void SetAcknowledge(bool acknowledge) { acknowledge_ = acknowledge; }
    // Input clocks present on channels A..D: bit 0 = A .. bit 3 = D (the cables' needed
    // gains stay as they were).
    void SetActiveClocks(std::uint8_t mask);
    // The cables and the select pins; a source's dropAfter counts from now.
    void SetCables(const CableSet& cables);
    const CableSet& Cables() const { return cables_; }
    // The TMDS character rate the sources send at: errors per second are the bit error ratio
    // times 10 bits times this.
    void SetCharacterRateMHz(double mhz) { characterRateMHz_ = mhz; }
    // Replace the ID register's value (a different chip at this address).
    void SetDeviceId(std::uint8_t id) { deviceId_ = id; }

    // Register contents as stored, without read side effects (for tests).
    std::uint8_t Peek(std::uint8_t reg) const;
    // Stores a value as given, past the write rules (read-only registers, unused bits,
    // reset, channel selection): for setting up a state, such as a counter near saturation.
    void Poke(std::uint8_t reg, std::uint8_t value);
    // Every value written by the bridge, in order (register, value), for tests.
    struct WriteRecord {
        std::uint8_t reg;
        std::uint8_t value;
    };
    const std::vector<WriteRecord>& WriteLog() const { return writeLog_; }
    void ClearWriteLog() { writeLog_.clear(); }

  private:
    std::uint8_t ReadOne(std::uint8_t reg);
    void WriteOne(std::uint8_t reg, std::uint8_t value);
    void UpdateChannelSelect();
    double Uniform();  // 0 <= u < 1 from the seeded engine
    // A count of a Poisson process with this mean, from the seeded engine alone.
    double Poisson(double mean);
    // Register 0x01 at a time: the sources that have not dropped out by then.
    std::uint8_t ActiveAt(board::Clock::TimePoint when) const;
    // When the next source drops out after from, if any.
    std::optional<board::Clock::TimePoint> NextDrop(board::Clock::TimePoint from) const;
    // Adds the errors counted since the last transfer, at the settings in force since then
    // (a source that dropped out meanwhile stops counting, and the selection follows).
    void CountPrbsErrors();
    void CountSpan(double seconds);

    std::uint8_t address7_;
    bool acknowledge_ = true;
    std::uint8_t deviceId_ = device::kDeviceId;
    std::uint8_t activeClocks_ = 0;  // as the sources were set, before any drop-out
    std::array<std::uint8_t, kChipRegisterCount> regs_{};
    std::mt19937 rng_;
    board::Clock* clock_;  // a pointer keeps the model copyable (tests keep expected states)
    board::Clock::TimePoint counted_;  // errors are counted up to here
    CableSet cables_{};
    board::Clock::TimePoint cablesSet_;  // where the sources' drop-out times count from
    double characterRateMHz_ = kDefaultCharacterRateMHz;
    // Each channel's links count at a rate of their own: the model's rate times this.
    std::array<std::array<double, device::kLinkCount>, device::kChannelCount> linkFactor_{};
    std::vector<WriteRecord> writeLog_;
};

}  // namespace vrq::sim
