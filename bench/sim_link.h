// A board link on one simulated board that answers at once, for benchmarks of the host's own
// work. Nothing is expected to ask; a board link that does is answered Cancel, which ends
// the benchmark with a failure.
#pragma once

#include <cstdlib>
#include <string>

#include "board/board_host.h"
#include "board/board_link.h"
#include "sim/sim_transport.h"

namespace vrq::bench {

class QuietHost : public board::BoardHost {
  public:
    board::MessageAnswer ShowMessage(const std::string&, board::MessageButtons,
                                     const std::string&) override {
        return board::AnswerCancel;
    }
    void BoardsFound() override {}
    void EndProgram() override { std::_Exit(EXIT_FAILURE); }
    void HandlePendingEvents() override {}
};

struct SimLink {
    SimLink() {
        sim.SetZeroLatency(true);
        sim.AddBoard();
        link.FindBoards();
    }
    sim::SimTransport sim;
    QuietHost host;
    board::BoardLink link{sim, host};
};

}  // namespace vrq::bench
