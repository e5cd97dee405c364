// The evaluation program. Without options it works on the attached boards only, following
// boards plugged in and pulled out; for running without hardware, --simulate[=N] puts N
// simulated boards (real-board timing) in their place, with a Simulation menu that unplugs
// them and injects faults, --simulate-fault makes them misbehave from the start as the
// command-line tool's option does, --simulate-cable sets their input cables, and --trace FILE
// writes every report exchanged to FILE. Every message it shows is written to standard error
// as well. The command line is checked before Qt starts: --help, --version and any mistake
// need no display, and a mistake ends the program with the command-line tool's status for a
// bad command line.
#include <CLI/CLI.hpp>
#include <QApplication>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/simulated_boards.h"
#include "cli/exit_code.h"
#include "sim/program_boards.h"
#include "ui/common/message_presenter.h"
#include "ui/main/app_look.h"
#include "ui/main/frm_main.h"

namespace {

constexpr int kBadCommandLine = static_cast<int>(vrq::cli::ExitCode::Usage);

struct Options {
    int simulate = 0;
    std::vector<std::string> faults;
    std::string traceFile;
    vrq::sim::CableSet cables = vrq::sim::DefaultCables();
};

// Qt's own options (QGuiApplication, QApplication), with one dash or two; those of the first
// list take a value, the next word (or after '=', for the last three).
constexpr std::array<std::string_view, 15> kQtOptionsWithValue{
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "title",         "name",    "qmljsdebugger"};
constexpr std::array<std::string_view, 5> kQtFlags{"reverse", "widgetcount", "nograb", "dograb",
                                                   "sync"};

// The first of words (what our own options left) that is not one of Qt's options or its
// value; "" when there is none.
std::string NotForQt(const std::vector<std::string>& words) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string_view word = words[i];
        if (word.size() < 2 || word[0] != '-') {
            return words[i];
        }
        word.remove_prefix(word.rfind("--", 0) == 0 ? 2 : 1);
        const auto equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        const auto named = [name](std::string_view option) { return option == name; };
        if (std::any_of(kQtFlags.begin(), kQtFlags.end(), named) && equals == std::string::npos) {
            continue;
        }
        if (!std::any_of(kQtOptionsWithValue.begin(), kQtOptionsWithValue.end(), named)) {
            return words[i];
        }
        if (equals != std::string::npos && name != "style" && name != "stylesheet" &&
            name != "qmljsdebugger") {
            return words[i];  // Qt would not take it
        }
        if (equals == std::string::npos && ++i == words.size()) {
            return words[i - 1];  // its value is missing
        }
    }
    return {};
}

int Refused(const CLI::App& cli, const std::string& why) {
    std::cerr << why << "\n" << cli.help();
    return kBadCommandLine;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App cli{"VRQ66208A evaluation software"};
    Options opt;
    CLI::Option* simulate = vrq::sim::AddSimulateOption(cli, opt.simulate);
    vrq::sim::AddSimulateFaultOption(cli, opt.faults, simulate);
    vrq::sim::AddSimulateCableOption(cli, opt.cables);
    cli.add_option("--trace", opt.traceFile, "Write every report exchanged to FILE")
        ->option_text("FILE");
    cli.set_version_flag("--version", std::string("vrq66208a-eval ") + VRQ_VERSION,
                         "Print the program's version and exit");
    cli.footer(
        "Qt's own options (-platform NAME, -style NAME, ...) are passed to Qt. A bad command "
        "line ends the program with status 3.");
    // What is left after our own options must be Qt's: anything else is refused here, before
    // Qt is started, so that no display is needed to say so.
    cli.allow_extras();
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return cli.exit(e);  // --help, --version
        }
        cli.exit(e);
        return kBadCommandLine;
    }
    if (const std::string stray = NotForQt(cli.remaining()); !stray.empty()) {
        return Refused(cli, "The following argument was not expected: " + stray);
    }
    vrq::sim::BoardChoice choice;
    if (const std::string why = vrq::sim::FaultsOn(opt.faults, opt.simulate, choice.faults);
        !why.empty()) {
        return Refused(cli, why);
    }

    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
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
    // Every message the window shows goes to standard error too, with the answer given.
    window.SetMessagePresenter(std::make_unique<vrq::ui::LoggingMessagePresenter>(
        std::cerr, std::make_unique<vrq::ui::QtMessagePresenter>()));
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
