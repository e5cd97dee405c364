#include "app/simulated_boards.h"

#include "sim/program_boards.h"

namespace vrq::app {

std::vector<ui::SimulatedBoards::Fault> SimulatedBoards::Faults() const {
    std::vector<Fault> faults;
    for (const sim::FaultKindName& kind : sim::FaultKinds()) {
        faults.push_back({std::string(kind.name), std::string(kind.what)});
    }
    return faults;
}

void SimulatedBoards::Inject(std::size_t board, const std::string& fault) {
    if (const auto parsed = sim::ParseFault(fault)) {
        sim::InjectFault(sim_, board, parsed->kind);
    }
}

}  // namespace vrq::app
