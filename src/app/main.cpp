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

#include "sim/program_boards.h"
#include "ui/main/app_look.h"
#include "ui/main/frm_main.h"

namespace {

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
    vrq::sim::AddSimulateOption(cli, opt.simulate);
    cli.add_option("--trace", opt.traceFile, "Write every report exchanged to FILE")
        ->option_text("FILE");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
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
    choice.trace = trace.is_open() ? &trace : nullptr;
    vrq::sim::ProgramBoards boards(choice);

    vrq::ui::FrmMain window(boards.Transport());
    window.SetEndAction([&trace] {
        trace.flush();
        vrq::ui::FrmMain::EndProcessNow();
    });
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
