// Host cost of one register exchange through the whole stack (board link, transport, simulated
// firmware and chip) with the simulated board answering at once: what the program itself adds
// to a USB round trip.
#include <benchmark/benchmark.h>

#include <vector>

#include "sim_link.h"

namespace {

void ReadRegistersOnceExchange(benchmark::State& state) {
    vrq::bench::SimLink simLink;
    vrq::board::BoardLink& link = simLink.link;
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> values(count);
    for (auto _ : state) {
        const auto status = link.ReadRegistersOnce(0x88, 0x00, count, values);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(values.data());
        simLink.sim.Board(0).ClearCommands();  // keep the simulator's log from growing
    }
}
BENCHMARK(ReadRegistersOnceExchange)->Arg(1)->Arg(13)->Arg(62);

}  // namespace

BENCHMARK_MAIN();
