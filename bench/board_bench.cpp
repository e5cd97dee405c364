// Host cost of one register exchange through the whole stack (board link, session, transport,
// simulated firmware and chip) with the simulated board answering at once: what the program
// itself adds to a USB round trip. The reference, measured in the same run, is the same
// exchange straight on the simulated board's device: the firmware and chip alone.
#include <benchmark/benchmark.h>

#include <vector>

#include "sim_link.h"

namespace {

void ReadRegistersOnceExchange(benchmark::State& state) {
    vrq::bench::SimLink simLink;
    vrq::link::BoardLink& link = simLink.link;
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

void SimulatedBoardAlone(benchmark::State& state) {
    namespace off = vrq::board::off;
    vrq::sim::SimTransport sim;
    sim.SetZeroLatency(true);
    sim.AddBoard();
    auto device = sim.Open("sim:board0").device;
    vrq::board::Report request{};
    request[off::kCommand] = vrq::board::CommandI2C;
    request[off::kCount] = static_cast<std::uint8_t>(state.range(0));
    request[off::kAddress] = 0x89;
    vrq::board::Report answer{};
    for (auto _ : state) {
        const bool written = device->Write(request);
        const auto outcome = device->Read(answer, 0);
        benchmark::DoNotOptimize(written);
        benchmark::DoNotOptimize(outcome);
        benchmark::DoNotOptimize(answer.data());
        sim.Board(0).ClearCommands();
    }
}
BENCHMARK(SimulatedBoardAlone)->Arg(1)->Arg(13)->Arg(62);

}  // namespace

BENCHMARK_MAIN();
