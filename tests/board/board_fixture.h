// A board link on simulated boards with a scripted host, on virtual time, at zero latency and
// a short answer time-out.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "board/board_link.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"
#include "support/scripted_host.h"

namespace vrq::test {

inline constexpr int kShortTimeoutMs = 40;

class BoardLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim.SetZeroLatency(true);
        link.SetAnswerTimeoutMs(kShortTimeoutMs);
        host.onEnd = [this] { std::fprintf(stderr, "open handles %d\n", sim.OpenHandles()); };
    }
    // Adds boards and runs discovery.
    void Connect(int boards = 1) {
        for (int i = 0; i < boards; ++i) {
            sim.AddBoard();
        }
        link.FindBoards();
    }
    sim::SimBoard& Board(std::size_t i = 0) { return sim.Board(i); }
    const board::Report& LastCommand(std::size_t i = 0) { return Board(i).Commands().back(); }

    sim::VirtualClock clock;
    sim::SimTransport sim{clock};
    ScriptedHost host;
    board::BoardLink link{sim, host, clock};
};

// The process ended through the host with every board handle closed.
inline constexpr const char* kEndedWithBoardsClosed = "open handles 0\nprogram ended";

}  // namespace vrq::test
