// The rig most tests stand on: simulated boards behind the window's board link, on a virtual
// clock (answers that never come cost no real time, and times are exact), with a scripted host
// answering the link's messages and the exchange hub every session reports to. Boards answer
// at once unless a test sets the board's pace.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/exchange_hub.h"
#include "device/register_map.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"
#include "support/scripted_host.h"
#include "ui/link/board_link.h"

namespace vrq::test {

inline constexpr int kShortTimeoutMs = 40;
inline constexpr std::uint8_t kChip = device::kDefaultChipAddressByte;

class SimRig {
  public:
    SimRig() { sim.SetZeroLatency(true); }

    // Adds boards and runs discovery; instance 0 is current.
    void Connect(int boards = 1) {
        for (int i = 0; i < boards; ++i) {
            sim.AddBoard();
        }
        link.FindBoards();
    }
    sim::SimBoard& Board(std::size_t i = 0) { return sim.Board(i); }
    sim::ChipModel& Chip(std::size_t i = 0) { return sim.Board(i).Chip(); }
    board::BoardSession& Session() { return *link.CurrentSession(); }

    sim::VirtualClock clock;
    sim::SimTransport sim{clock};
    ScriptedHost host;
    board::ExchangeHub hub;
    link::BoardLink link{sim, host, hub, clock};
};

}  // namespace vrq::test
