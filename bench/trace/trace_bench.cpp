// What the bus trace adds to one exchange (the 13-register read of Read All), with the
// simulated board answering at once so that only the host's own work is timed:
//   trace:0  no recorder: the reference, which the program never runs;
//   trace:1  the recorder the program keeps from its start copies the exchange into its ring;
//   trace:2  as 1, and the trace window's table brought up to date after every exchange (the
//            window does it once per refresh period, so this is the worst case).
// The goal is under 1 us per exchange for trace:1 over trace:0; a real board needs about
// 2.9 ms for this exchange.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <array>
#include <memory>

#include "sim_link.h"
#include "ui/trace/trace_log.h"
#include "ui/trace/trace_model.h"

namespace {

void ReadAllBurstExchange(benchmark::State& state) {
    vrq::bench::SimLink simLink;
    vrq::link::BoardLink& link = simLink.link;
    const int mode = static_cast<int>(state.range(0));
    std::unique_ptr<vrq::ui::TraceRecorder> recorder;
    std::unique_ptr<vrq::ui::TraceModel> model;
    if (mode >= 1) {
        recorder = std::make_unique<vrq::ui::TraceRecorder>(simLink.hub, link.TheClock());
    }
    if (mode == 2) {
        model = std::make_unique<vrq::ui::TraceModel>(*recorder);
    }
    state.counters["observers"] = static_cast<double>(simLink.hub.Observers());
    std::array<std::uint8_t, 13> values{};
    for (auto _ : state) {
        const auto status = link.ReadRegistersOnce(0x88, 0x00, values.size(), values);
        benchmark::DoNotOptimize(status);
        if (model) {
            model->Refresh();
        }
        simLink.sim.Board(0).ClearCommands();  // keep the simulator's log from growing
    }
    // Every run has the same counters, or the CSV output stops at the first that differs.
    state.counters["dropped"] = recorder ? static_cast<double>(recorder->Dropped()) : 0.0;
}
BENCHMARK(ReadAllBurstExchange)->ArgName("trace")->Arg(0)->Arg(1)->Arg(2)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // the table model is a QObject
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
