#include "sim/program_boards.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>

#include "board/hidapi_transport.h"
#include "board/trace_transport.h"

namespace vrq::sim {

ProgramBoards::ProgramBoards(const BoardChoice& choice) {
    if (choice.simulated > 0) {
        auto sim = std::make_unique<SimTransport>();
        sim->SetZeroLatency(choice.zeroLatency);
        for (int i = 0; i < choice.simulated; ++i) {
            sim->AddBoard().Chip().SetCables(choice.cables);
        }
        simulation_ = sim.get();
        base_ = std::move(sim);
    } else {
        base_ = std::make_unique<board::HidapiTransport>();
    }
    if (choice.trace != nullptr) {
        traced_ = std::make_unique<board::TraceTransport>(*base_, *choice.trace);
    }
}

ProgramBoards::~ProgramBoards() = default;

board::HidTransport& ProgramBoards::Transport() {
    return traced_ ? *traced_ : *base_;
}

CLI::Option* AddSimulateOption(CLI::App& app, int& count) {
    return app
        .add_option("--simulate", count,
                    "Work on N simulated boards (default 1) instead of the attached ones")
        ->expected(0, 1)
        ->default_str("1")
        ->option_text("[=N]")
        ->check(CLI::Range(1, kMostSimulatedBoards));
}

CLI::Option* AddSimulateCableOption(CLI::App& app, CableSet& cables) {
    CLI::Option* option =
        app.add_option_function<std::string>(
               "--simulate-cable",
               [&cables](const std::string& text) {
                   std::string error;
                   if (const auto parsed = ParseCables(text, error)) {
                       cables = *parsed;
                   } else {
                       throw CLI::ValidationError("--simulate-cable", error);
                   }
               },
               "The simulated boards' input cables: the channels that carry a source and the "
               "equalization gain each needs (default " +
                   CablesText(DefaultCables()) + "; none for no source)")
            ->option_text("A=GAIN[,B=GAIN...]");
    if (CLI::Option* simulate = app.get_option_no_throw("--simulate")) {
        option->needs(simulate);
    }
    return option;
}

std::optional<std::size_t> ChooseInstance(const std::vector<std::string>& paths,
                                          std::string_view choice, std::string& error) {
    const auto byPath = std::find(paths.begin(), paths.end(), choice);
    if (!choice.empty() && byPath != paths.end()) {
        return static_cast<std::size_t>(byPath - paths.begin());
    }
    std::size_t instance = 0;
    const auto [end, ec] = std::from_chars(choice.data(), choice.data() + choice.size(), instance);
    const bool number =
        !choice.empty() && ec == std::errc() && end == choice.data() + choice.size();
    if (number && instance < paths.size()) {
        return instance;
    }
    if (paths.empty()) {
        error = "there is no board";
    } else if (paths.size() == 1) {
        error = "there is 1 board (instance 0)";
    } else {
        error = "there are " + std::to_string(paths.size()) + " boards (instances 0 to " +
                std::to_string(paths.size() - 1) + ")";
    }
    return std::nullopt;
}

}  // namespace vrq::sim
