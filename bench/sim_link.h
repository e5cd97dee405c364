// A board link on one simulated board that answers at once, for benchmarks of the host's own
// work. Nothing is expected to ask; a board link that does is answered Cancel, which ends
// the benchmark with a failure.
#pragma once

#include <cstdlib>
#include <string>

#include "sim/sim_transport.h"
#include "ui/link/board_link.h"
#include "ui/link/link_host.h"

namespace vrq::bench {

class QuietHost : public link::LinkHost {
  public:
    link::MessageAnswer ShowMessage(const std::string&, link::MessageButtons,
                                    const std::string&) override {
        return link::AnswerCancel;
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
    board::ExchangeHub hub;
    link::BoardLink link{sim, host, hub};
};

}  // namespace vrq::bench
