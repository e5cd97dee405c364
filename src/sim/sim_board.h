// The evaluation board's firmware: runs the command reports of the board protocol against a
// chip model and produces the answer reports, with the timing a real board has.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "board/clock.h"
#include "board/report.h"
#include "sim/chip_model.h"

namespace vrq::sim {

struct FirmwareInfo {
    std::uint8_t version = 0x12;  // 1.2
    int year = 2008;
    int month = 3;
    int day = 15;
};

class SimBoard {
  public:
    // clock: the time the chip's error counters count in (the transport's).
    explicit SimBoard(std::uint8_t chipAddress7 = kDefaultChipAddress7, std::uint32_t seed = 1,
                      board::Clock& clock = board::Clock::Real());

    ChipModel& Chip() { return chip_; }
    const ChipModel& Chip() const { return chip_; }

    // Firmware state.
    bool Led() const { return led_; }
    void SetLed(bool on) { led_ = on; }
    std::uint8_t BaseClockMHz() const { return baseMHz_; }
    void SetBaseClockMHz(std::uint8_t mhz) { baseMHz_ = mhz; }
    std::uint8_t Divider() const { return divider_; }
    void SetDivider(std::uint8_t divider) { divider_ = divider; }
    void SetFirmware(const FirmwareInfo& info) { firmware_ = info; }
    // Bits 6..0 of the GPIO status byte (bit 7 is the LED).
    void SetGpioLines(std::uint8_t lines) { gpioLines_ = lines & 0x7F; }

    // Runs one command report and returns the answer report the firmware sends. Every
    // command is answered, the two set commands with a plain acknowledgement.
    board::Report Handle(const board::Report& command);

    // A USB full-speed frame: the command waits for one, the answer leaves in the next.
    static constexpr std::chrono::microseconds kUsbFrame{1000};
    // What a real board needs from receiving this command to its answer being readable:
    // the next 1 ms USB frame each way plus the I2C bytes at the bus clock in force.
    std::chrono::microseconds ModelTime(const board::Report& command) const;
    // I2C bus time alone for this command (zero for board commands).
    std::chrono::microseconds BusTime(const board::Report& command) const;
    // Zero latency: answers are readable as soon as the command is written.
    void SetZeroLatency(bool zero) { zeroLatency_ = zero; }
    bool ZeroLatency() const { return zeroLatency_; }

    // Every command report received, in order (for tests).
    const std::vector<board::Report>& Commands() const { return commands_; }
    void ClearCommands() { commands_.clear(); }
    // Called with each command report as it arrives, before it runs (tests use it to pull
    // the plug in the middle of an operation).
    std::function<void(const board::Report&)> onCommand;
    // Called with each answer sent and when it arrives at the host (soaks keep them to replay).
    std::function<void(const board::Report&, board::Clock::TimePoint)> onAnswer;

    // ---- Fault injection (each counter is used up one report at a time)
    int failWrites = 0;      // the next writes fail; the command never arrives
    int dropAnswers = 0;     // the next commands run but their answers never come
    int answersDropped = 0;  // answers dropAnswers has kept from coming, in all
    int lateAnswers = 0;     // the next answers come lateBy after they were due
    std::chrono::milliseconds lateBy{10000};

  private:
    ChipModel chip_;
    FirmwareInfo firmware_;
    bool led_ = false;
    std::uint8_t baseMHz_ = 12;
    std::uint8_t divider_ = 120;
    std::uint8_t gpioLines_ = 0x05;
    bool zeroLatency_ = false;
    std::vector<board::Report> commands_;
};

}  // namespace vrq::sim
