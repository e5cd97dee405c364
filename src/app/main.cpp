// The evaluation program. Without options it works on the attached boards only; for running
// without hardware, --simulate[=N] puts N simulated boards (real-board timing) in their place,
// and --trace FILE writes every report exchanged to FILE.
#include <CLI/CLI.hpp>
#include <QApplication>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "board/hidapi_transport.h"
#include "board/trace_transport.h"
#include "sim/sim_transport.h"
#include "ui/main/app_look.h"
#include "ui/main/frm_main.h"

namespace {

constexpr int kMostSimulatedBoards = 16;

struct Options {
    int simulate = 0;
    std::string traceFile;
};

}  // namespace

int main(int argc, char** argv) {
    Q_INIT_RESOURCE(resources);
    // Qt takes its own arguments out of argv first.
    QApplication app(argc, argv);
    vrq::ui::ApplyApplicationLook(app);

    CLI::App cli{"VRQ66208A evaluation software"};
    Options opt;
    cli.add_option("--simulate", opt.simulate,
                   "Run against N simulated boards instead of the attached ones")
        ->expected(0, 1)
        ->default_str("1");
    cli.add_option("--trace", opt.traceFile, "Write every report exchanged to FILE")
        ->option_text("FILE");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
    // "--simulate" alone means one board; with a value it must be 1 or more.
    if (cli.count("--simulate") > 0 && cli["--simulate"]->results().empty()) {
        opt.simulate = 1;
    } else if (cli.count("--simulate") > 0 && opt.simulate == 0) {
        opt.simulate = -1;  // refused below
    }
    if (opt.simulate < 0 || opt.simulate > kMostSimulatedBoards) {
        std::cerr << "--simulate takes 1 to " << kMostSimulatedBoards << " boards\n";
        return 2;
    }

    std::unique_ptr<vrq::board::HidTransport> boards;
    if (opt.simulate > 0) {
        auto sim = std::make_unique<vrq::sim::SimTransport>();
        for (int i = 0; i < opt.simulate; ++i) {
            sim->AddBoard();
        }
        boards = std::move(sim);
    } else {
        boards = std::make_unique<vrq::board::HidapiTransport>();
    }
    std::ofstream trace;
    std::unique_ptr<vrq::board::HidTransport> traced;
    if (!opt.traceFile.empty()) {
        trace.open(opt.traceFile, std::ios::out | std::ios::trunc);
        if (!trace) {
            std::cerr << "cannot write the trace file " << opt.traceFile << "\n";
            return 2;
        }
        traced = std::make_unique<vrq::board::TraceTransport>(*boards, trace);
    }

    vrq::ui::FrmMain window(traced ? *traced : *boards);
    window.SetEndAction([&trace] {
        trace.flush();
        vrq::ui::FrmMain::EndProcessNow();
    });
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
