// A board link on one simulated board at zero latency, on a clock of the test's own: answers
// that never come cost no real time, and the times in a trace are exact.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "board/board_link.h"
#include "board/clock.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"
#include "support/scripted_host.h"
#include "ui/trace/trace_log.h"
#include "ui/trace/trace_text.h"

namespace vrq::test {

inline constexpr std::uint8_t kChip = 0x88;  // 7-bit 0x44 in write form

// Public: the parameterised cases act on the fixture from outside it.
class TraceTest : public ::testing::Test {
  public:
    TraceTest() {
        sim.SetZeroLatency(true);
        sim.AddBoard();
        link.FindBoards();
    }
    board::BoardSession& Session() { return *link.CurrentSession(); }
    sim::SimBoard& Board() { return sim.Board(0); }
    void Advance(std::chrono::microseconds span) { clock.Advance(span); }
    void Read(std::uint8_t reg, std::uint8_t address = kChip) {
        std::uint8_t value = 0;
        Session().ReadRegisters(address, reg, {&value, 1});
    }
    void Write(std::uint8_t reg, std::vector<std::uint8_t> values, std::uint8_t address = kChip) {
        Session().WriteRegisters(address, reg, values);
    }

    sim::VirtualClock clock;
    sim::SimTransport sim{clock};
    ScriptedHost host;
    board::BoardLink link{sim, host, clock};
};

// The request, register and result columns of every row recorded, oldest first.
using Words = std::vector<std::string>;
inline std::vector<Words> RowWords(const ui::TraceRecorder& recorder) {
    std::vector<Words> rows;
    recorder.ForEach([&](const board::Exchange& e) {
        Words row;
        for (const auto column :
             {ui::TraceColumn::Request, ui::TraceColumn::Register, ui::TraceColumn::Result}) {
            row.push_back(ui::TraceCell(e, column, recorder.Origin()));
        }
        rows.push_back(row);
    });
    return rows;
}

}  // namespace vrq::test
