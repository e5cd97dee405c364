// The window's Simulation menu on the simulated USB.
#pragma once

#include "sim/sim_transport.h"
#include "ui/main/simulation_menu.h"

namespace vrq::app {

class SimulatedBoards : public ui::SimulatedBoards {
  public:
    explicit SimulatedBoards(sim::SimTransport& sim) : sim_(sim) {}
    std::size_t Count() const override { return sim_.BoardCount(); }
    bool Plugged(std::size_t board) const override { return sim_.Plugged(board); }
    void Unplug(std::size_t board) override { sim_.Unplug(board); }
    void Plug(std::size_t board) override { sim_.Plug(board); }
    std::vector<Fault> Faults() const override;
    void Inject(std::size_t board, const std::string& fault) override;

  private:
    sim::SimTransport& sim_;
};

}  // namespace vrq::app
