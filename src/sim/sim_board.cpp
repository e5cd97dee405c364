#include "sim/sim_board.h"

#include <algorithm>
#include <array>
#include <span>

namespace vrq::sim {

namespace {

using board::Report;
namespace off = board::off;

// Answer byte 1 of requests the firmware refuses; the host only tells 0 from non-zero.
constexpr std::uint8_t kBadRequest = 0x01;  // count out of range
constexpr std::uint8_t kNoBusClock = 0x03;  // base clock 0: the bus cannot run
constexpr std::uint8_t kUnknownCommand = 0xFF;

constexpr std::uint8_t kReadBit = 0x01;  // address byte bit 0

// Bit times of the framing around the data bytes: start and stop, plus the repeated start
// that turns a register read around.
constexpr long kWriteOverheadBits = 2;
constexpr long kReadOverheadBits = 3;
constexpr long kBitsPerByte = 9;  // eight data bits and the acknowledge

bool IsRead(const Report& command) {
    return (command[off::kAddress] & kReadBit) != 0;
}

bool ValidCount(const Report& command) {
    const std::size_t count = command[off::kCount];
    const std::size_t max = IsRead(command) ? board::kMaxReadCount : board::kMaxWriteCount;
    return count >= 1 && count <= max;
}

}  // namespace

SimBoard::SimBoard(std::uint8_t chipAddress7, std::uint32_t seed, board::Clock& clock)
    : chip_(chipAddress7, seed, clock) {}

board::Report SimBoard::Handle(const board::Report& command) {
    commands_.push_back(command);
    if (onCommand) {
        onCommand(command);
    }

    Report answer{};
    const std::uint8_t sub = command[off::kSubCommand];
    switch (command[off::kCommand]) {
        case board::CommandBoardInfo:
            if (sub != board::kSubQuery) {
                break;
            }
            answer[off::kFirmwareVersion] = firmware_.version;
            answer[off::kYearHigh] = static_cast<std::uint8_t>((firmware_.year >> 8) & 0xFF);
            answer[off::kYearLow] = static_cast<std::uint8_t>(firmware_.year & 0xFF);
            answer[off::kMonth] = static_cast<std::uint8_t>(firmware_.month);
            answer[off::kDay] = static_cast<std::uint8_t>(firmware_.day);
            return answer;
        case board::CommandGpio:
            if (sub == board::kSubSet) {
                led_ = command[off::kSetValue] != 0;
                return answer;
            }
            if (sub == board::kSubQuery) {
                answer[off::kGpioStatus] =
                    static_cast<std::uint8_t>((led_ ? board::kLedBit : 0) | gpioLines_);
                return answer;
            }
            break;
        case board::CommandI2C: {
            const std::size_t count = command[off::kCount];
            const std::uint8_t address = command[off::kAddress];
            const std::uint8_t first = command[off::kFirstRegister];
            if (!ValidCount(command)) {
                answer[off::kStatus] = kBadRequest;
            } else if (baseMHz_ == 0) {
                answer[off::kStatus] = kNoBusClock;
            } else if (IsRead(command)) {
                std::array<std::uint8_t, board::kMaxReadCount> values{};
                const auto status = chip_.Read(address, first, std::span(values).first(count));
                answer[off::kStatus] = status;
                if (status == 0) {
                    std::copy_n(values.begin(), count, answer.begin() + off::kReadData);
                }
            } else {
                const auto data = std::span(command).subspan(off::kWriteData, count);
                answer[off::kStatus] = chip_.Write(address, first, data);
            }
            return answer;
        }
        case board::CommandBusClock:
            if (sub == board::kSubSet) {
                divider_ = command[off::kSetValue];
                return answer;
            }
            if (sub == board::kSubQuery) {
                answer[off::kBaseClock] = baseMHz_;
                answer[off::kDivider] = divider_;
                return answer;
            }
            break;
        default:
            break;
    }
    answer[off::kStatus] = kUnknownCommand;
    return answer;
}

std::chrono::microseconds SimBoard::BusTime(const board::Report& command) const {
    if (command[off::kCommand] != board::CommandI2C || !ValidCount(command) || baseMHz_ == 0) {
        return std::chrono::microseconds{0};
    }
    const long count = command[off::kCount];
    // Address, register, then for a read the address again before the data comes back.
    const long bits = IsRead(command) ? kBitsPerByte * (3 + count) + kReadOverheadBits
                                      : kBitsPerByte * (2 + count) + kWriteOverheadBits;
    const long divider = divider_ == 0 ? 256 : divider_;
    // One bit lasts divider / base microseconds (base in MHz); round up to whole microseconds.
    return std::chrono::microseconds{(bits * divider + baseMHz_ - 1) / baseMHz_};
}

std::chrono::microseconds SimBoard::ModelTime(const board::Report& command) const {
    return kUsbFrame + BusTime(command) + kUsbFrame;
}

}  // namespace vrq::sim
