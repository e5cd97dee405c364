#include "sim/program_boards.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>

#include "board/hidapi_transport.h"
#include "board/trace_transport.h"
#include "board/udev_watch.h"

namespace vrq::sim {

namespace {

constexpr std::array<FaultKindName, 10> kFaultNames{{
    {FaultKind::NoAcknowledge, "no-ack", "the chip acknowledges nothing"},
    {FaultKind::OtherChip, "other-chip", "register 0x00 reads another chip's ID"},
    {FaultKind::LostAnswer, "lost-answer", "the next command's answer never comes"},
    {FaultKind::LateAnswer, "late-answer", "the next answer comes 10 s late"},
    {FaultKind::FailedWrite, "failed-write", "the next command report cannot be written"},
    {FaultKind::Unplug, "unplug", "the board is pulled out as its next command arrives"},
    {FaultKind::Absent, "absent", "the board is pulled out now"},
    {FaultKind::OpenInUse, "open-in-use", "the next open finds it in use"},
    {FaultKind::OpenNoPermission, "open-no-permission", "the next open is not permitted"},
    {FaultKind::OpenFails, "open-fails", "the next open fails"},
}};

// Register 0x00 of a chip that is not ours: another device ID, so a scan passes it over.
constexpr std::uint8_t kOtherChipId = 0x12;

}  // namespace

std::span<const FaultKindName> FaultKinds() {
    return kFaultNames;
}

void InjectFault(SimTransport& sim, std::size_t index, FaultKind kind) {
    SimBoard& board = sim.Board(index);
    switch (kind) {
        case FaultKind::NoAcknowledge:
            board.Chip().SetAcknowledge(false);
            break;
        case FaultKind::OtherChip:
            board.Chip().SetDeviceId(kOtherChipId);
            break;
        case FaultKind::LostAnswer:
            ++board.dropAnswers;
            break;
        case FaultKind::LateAnswer:
            ++board.lateAnswers;
            break;
        case FaultKind::FailedWrite:
            ++board.failWrites;
            break;
        case FaultKind::Unplug:
            // The command is lost with the board; nothing after it can be written.
            board.onCommand = [&sim, index](const board::Report& /*command*/) {
                sim.Unplug(index);
            };
            break;
        case FaultKind::Absent:
            sim.Unplug(index);
            break;
        case FaultKind::OpenInUse:
            sim.SetOpenFailure(index, board::OpenFailure::InUse);
            break;
        case FaultKind::OpenNoPermission:
            sim.SetOpenFailure(index, board::OpenFailure::NoPermission);
            break;
        case FaultKind::OpenFails:
            sim.SetOpenFailure(index, board::OpenFailure::Other);
            break;
    }
}

std::optional<Fault> ParseFault(std::string_view text) {
    Fault fault;
    if (const auto colon = text.find(':'); colon != std::string_view::npos) {
        const std::string_view number = text.substr(colon + 1);
        const auto [end, ec] =
            std::from_chars(number.data(), number.data() + number.size(), fault.board);
        if (number.empty() || ec != std::errc() || end != number.data() + number.size() ||
            fault.board < 0 || fault.board >= kMostSimulatedBoards) {
            return std::nullopt;
        }
        text = text.substr(0, colon);
    }
    const auto named = std::find_if(kFaultNames.begin(), kFaultNames.end(),
                                    [&](const FaultKindName& entry) { return entry.name == text; });
    if (named == kFaultNames.end()) {
        return std::nullopt;
    }
    fault.kind = named->kind;
    return fault;
}

std::string FaultKindNames() {
    std::string names;
    for (const auto& entry : kFaultNames) {
        names += (names.empty() ? "" : ", ") + std::string(entry.name);
    }
    return names;
}

ProgramBoards::ProgramBoards(const BoardChoice& choice) {
    if (choice.simulated > 0) {
        auto sim = std::make_unique<SimTransport>();
        sim->SetZeroLatency(choice.zeroLatency);
        for (int i = 0; i < choice.simulated; ++i) {
            sim->AddBoard().Chip().SetCables(choice.cables);
        }
        for (const Fault& fault : choice.faults) {
            for (int i = 0; i < choice.simulated; ++i) {
                if (fault.board < 0 || fault.board == i) {
                    InjectFault(*sim, static_cast<std::size_t>(i), fault.kind);
                }
            }
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

board::DeviceWatch* ProgramBoards::Watch() {
    if (simulation_ != nullptr) {
        return &simulation_->Watch();
    }
    if (!systemWatch_ && watchProblem_.empty()) {
        systemWatch_ = board::WatchBoards(watchProblem_);
    }
    return systemWatch_.get();
}

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

CLI::Option* AddSimulateFaultOption(CLI::App& app, std::vector<std::string>& faults,
                                    CLI::Option* simulate) {
    const CLI::Validator kind(
        [](std::string& text) {
            return ParseFault(text) ? std::string()
                                    : "'" + text + "' is no simulated fault: use one of " +
                                          FaultKindNames() + ", with :N for board N only";
        },
        "KIND[:N]");
    return app
        .add_option("--simulate-fault", faults,
                    "Make the simulated boards (board N only, with :N) misbehave: " +
                        FaultKindNames() + "; repeat for more")
        ->option_text("KIND[:N]")
        ->check(kind)
        ->needs(simulate);
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
               "The simulated boards' input cables: the channels that carry a source, the "
               "equalization gain each needs (0 to 31; above 15 none is clean), optionally "
               ":width=STEPS, :drop=SECONDS (the source stops), :video (no PRBS7), and "
               "pins=auto|A..D for the select pins (default " +
                   CablesText(DefaultCables()) + "; none for no source)")
            ->option_text("A=GAIN[:OPT...][,B=...][,pins=P]");
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
