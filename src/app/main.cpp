// The evaluation program. Without options it works on the attached boards only, following
// boards plugged in and pulled out; for running without hardware, --simulate[=N] puts N
// simulated boards (real-board timing) in their place, with a Simulation menu that unplugs
// them and injects faults, --simulate-cable sets their input cables, and --trace FILE writes
// every report exchanged to FILE. --help and --version need no display.
#include <CLI/CLI.hpp>
#include <QApplication>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app/simulated_boards.h"
#include "sim/program_boards.h"
#include "ui/main/app_look.h"
#include "ui/main/frm_main.h"

namespace {

struct Options {
    int simulate = 0;
    std::string traceFile;
    vrq::sim::CableSet cables = vrq::sim::DefaultCables();
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App cli{"VRQ66208A evaluation software"};
    Options opt;
    vrq::sim::AddSimulateOption(cli, opt.simulate);
    vrq::sim::AddSimulateCableOption(cli, opt.cables);
    cli.add_option("--trace", opt.traceFile, "Write every report exchanged to FILE")
        ->option_text("FILE");
    cli.set_version_flag("--version", std::string("vrq66208a-eval ") + VRQ_VERSION,
                         "Print the program's version and exit");
    cli.footer("Qt's own options (-platform NAME, -style NAME, ...) are passed to Qt.");
    // Two passes. The first, before Qt, lets through what it does not know (Qt's own options),
    // so that --help, --version and a slip in our own options need no display. Qt then takes
    // its options out of argv, and the second pass refuses whatever is left that is not ours.
    cli.allow_extras();
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    cli.allow_extras(false);
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
    // The desktop entry this window belongs to (the task bar finds its icon there).
    QGuiApplication::setDesktopFileName(QStringLiteral(VRQ_DESKTOP_ID));
    vrq::ui::ApplyApplicationLook(app);

    std::ofstream trace;
    if (!opt.traceFile.empty()) {
        trace.open(opt.traceFile, std::ios::out | std::ios::trunc);
        if (!trace) {
            std::cerr << "cannot write the trace file " << opt.traceFile << "\n";
            return 2;
        }
    }
    vrq::sim::BoardChoice choice;
    choice.simulated = opt.simulate;
    choice.cables = opt.cables;
    choice.trace = trace.is_open() ? &trace : nullptr;
    vrq::sim::ProgramBoards boards(choice);

    // Before the window, which uses them to its end.
    std::unique_ptr<vrq::app::SimulatedBoards> simulated;
    if (vrq::sim::SimTransport* sim = boards.Simulation()) {
        simulated = std::make_unique<vrq::app::SimulatedBoards>(*sim);
    }
    vrq::ui::FrmMain window(boards.Transport());
    if (simulated) {
        window.SetSimulation(*simulated);
    }
    if (vrq::board::DeviceWatch* watch = boards.Watch()) {
        window.SetDeviceWatch(*watch);
    }
    window.SetEndAction([&trace] {
        trace.flush();
        vrq::ui::FrmMain::EndProcessNow();
    });
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
