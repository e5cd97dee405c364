// The board link on simulated boards (the shared rig) at zero latency and a short answer
// time-out.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "support/sim_rig.h"

namespace vrq::test {

class BoardLinkTest : public ::testing::Test, public SimRig {
  protected:
    void SetUp() override {
        link.SetAnswerTimeoutMs(kShortTimeoutMs);
        host.onEnd = [this] { std::fprintf(stderr, "open handles %d\n", sim.OpenHandles()); };
    }
    const board::Report& LastCommand(std::size_t i = 0) { return Board(i).Commands().back(); }
};

// The process ended through the host with every board handle closed.
inline constexpr const char* kEndedWithBoardsClosed = "open handles 0\nprogram ended";

}  // namespace vrq::test
