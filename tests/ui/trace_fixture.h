// The shared rig with one simulated board, for the bus trace's recorder and texts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "board/clock.h"
#include "support/sim_rig.h"
#include "ui/trace/trace_log.h"
#include "ui/trace/trace_text.h"

namespace vrq::test {

// Public: the parameterised cases act on the fixture from outside it.
class TraceTest : public ::testing::Test, public SimRig {
  public:
    TraceTest() { Connect(); }
    void Advance(std::chrono::microseconds span) { clock.Advance(span); }
    void Read(std::uint8_t reg, std::uint8_t address = kChip) {
        std::uint8_t value = 0;
        Session().ReadRegisters(address, reg, {&value, 1});
    }
    void Write(std::uint8_t reg, std::vector<std::uint8_t> values, std::uint8_t address = kChip) {
        Session().WriteRegisters(address, reg, values);
    }
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
