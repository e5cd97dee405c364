// Every byte offset of the board's 64-byte reports lives here; nothing else indexes a report.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vrq::board {

inline constexpr std::size_t kReportSize = 64;
using Report = std::array<std::uint8_t, kReportSize>;

// Command codes (command report byte 1).
enum Command : std::uint8_t {
    CommandBoardInfo = 0,
    CommandGpio = 1,
    CommandI2C = 2,
    CommandBusClock = 3,
};

// Sub-commands of the board commands (command report byte 2).
inline constexpr std::uint8_t kSubSet = 0;    // LED set, clock divider set
inline constexpr std::uint8_t kSubQuery = 1;  // firmware, GPIO status, clock query

namespace off {
// Both directions.
inline constexpr std::size_t kReportId = 0;  // always 0: the board uses no numbered reports
// Command report (host to board).
inline constexpr std::size_t kCommand = 1;
inline constexpr std::size_t kSubCommand = 2;  // board commands
inline constexpr std::size_t kCount = 2;       // I2C: number of data bytes
inline constexpr std::size_t kAddress = 3;     // I2C: address byte, bit 0 = read
inline constexpr std::size_t kSetValue = 3;    // board set commands: LED state, divider
inline constexpr std::size_t kFirstRegister = 4;
inline constexpr std::size_t kWriteData = 5;  // I2C write: data bytes 5..63
// Answer report (board to host).
inline constexpr std::size_t kStatus = 1;    // I2C: 0 = transfer done
inline constexpr std::size_t kReadData = 2;  // I2C read: values 2..63
inline constexpr std::size_t kFirmwareVersion = 2;
inline constexpr std::size_t kYearHigh = 3;
inline constexpr std::size_t kYearLow = 4;
inline constexpr std::size_t kMonth = 5;
inline constexpr std::size_t kDay = 6;
inline constexpr std::size_t kGpioStatus = 2;  // bit 7: LED
inline constexpr std::size_t kBaseClock = 2;   // MHz
inline constexpr std::size_t kDivider = 3;
}  // namespace off

inline constexpr std::uint8_t kLedBit = 0x80;
inline constexpr std::size_t kMaxReadCount = kReportSize - off::kReadData;    // 62
inline constexpr std::size_t kMaxWriteCount = kReportSize - off::kWriteData;  // 59

}  // namespace vrq::board
