// The boards a program works on, set up the same way for the window and the command-line
// tool: the attached boards through hidapi, or simulated ones (--simulate[=N]) that can be told
// to misbehave (--simulate-fault KIND[:N]), with every report written to a trace stream when
// asked (--trace), and the instance a user names.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board/device_watch.h"
#include "board/hid_transport.h"
#include "sim/cable_model.h"
#include "sim/sim_transport.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace vrq::sim {

inline constexpr int kMostSimulatedBoards = 16;

// What a simulated board can be told to do wrong, so that every failure a real board shows
// can be met from the command line, without hardware.
enum class FaultKind {
    NoAcknowledge,     // "no-ack": the chip acknowledges nothing
    OtherChip,         // "other-chip": register 0x00 reads 0x12, not the VRQ66208A's 0x31
    LostAnswer,        // "lost-answer": the next command runs but its answer never comes
    LateAnswer,        // "late-answer": the next answer comes 10 s after it was due
    FailedWrite,       // "failed-write": the next command report cannot be written
    Unplug,            // "unplug": the board is pulled out as its first command arrives
    Absent,            // "absent": the board is not plugged in at all
    OpenInUse,         // "open-in-use": another program has the board
    OpenNoPermission,  // "open-no-permission": the user may not open the board
    OpenFails,         // "open-fails": the system refuses to open it for another reason
};

struct Fault {
    FaultKind kind = FaultKind::NoAcknowledge;
    int board = -1;  // the board's instance, -1 for every simulated board
};

// "KIND" or "KIND:N" (N the board's instance, decimal); nothing for anything else. The
// one-shot kinds (lost-answer, late-answer, failed-write) add up when given again.
std::optional<Fault> ParseFault(std::string_view text);
// "no-ack, other-chip, ...": the kinds in their command-line spelling.
std::string FaultKindNames();
// Every kind, in the order the command line lists them, with its spelling there.
struct FaultKindName {
    FaultKind kind;
    std::string_view name;
    std::string_view what;  // what it does, in a few words
};
std::span<const FaultKindName> FaultKinds();
// Makes simulated board `board` misbehave as kind says, now.
void InjectFault(SimTransport& sim, std::size_t board, FaultKind kind);

struct BoardChoice {
    int simulated = 0;                  // 0: the attached boards; N: N simulated boards
    bool zeroLatency = false;           // simulated boards answer at once (tests)
    std::ostream* trace = nullptr;      // every report exchanged, when set
    std::vector<Fault> faults;          // for simulated boards; a board past the last is ignored
    CableSet cables = DefaultCables();  // on every simulated board's inputs
};

class ProgramBoards {
  public:
    explicit ProgramBoards(const BoardChoice& choice);
    ~ProgramBoards();
    ProgramBoards(const ProgramBoards&) = delete;
    ProgramBoards& operator=(const ProgramBoards&) = delete;

    // What the program opens its boards through.
    board::HidTransport& Transport();
    // The simulated USB, or null on real hardware.
    SimTransport* Simulation() { return simulation_; }
    // What tells of boards coming and going (the system's udev monitor, or the simulated
    // USB's); null, with WatchProblem saying why, when there is none.
    board::DeviceWatch* Watch();
    const std::string& WatchProblem() const { return watchProblem_; }

  private:
    std::unique_ptr<board::HidTransport> base_;
    SimTransport* simulation_ = nullptr;
    std::unique_ptr<board::HidTransport> traced_;
    std::unique_ptr<board::DeviceWatch> systemWatch_;
    std::string watchProblem_;
};

// "--simulate[=N]": N simulated boards, 1 when no number is given. Checked by the option
// itself: 1..kMostSimulatedBoards, so 0, negative or huge counts are refused as usage errors.
CLI::Option* AddSimulateOption(CLI::App& app, int& count);

// "--simulate-fault KIND[:N]", repeatable, only with the simulate option; each text is checked
// by ParseFault as the command line is parsed.
CLI::Option* AddSimulateFaultOption(CLI::App& app, std::vector<std::string>& faults,
                                    CLI::Option* simulate);

// "--simulate-cable A=GAIN[:OPTION...][,B=...][,pins=P]": the cables on the simulated boards'
// inputs and their select pins (see cable_model.h); a channel not named carries no source,
// "none" gives none at all. Checked by
// the option itself, and only with --simulate (added first).
CLI::Option* AddSimulateCableOption(CLI::App& app, CableSet& cables);

// The instance a user named among the open boards' paths: its number (decimal) or its path.
// nullopt with a message that says what there is instead ("there is 1 board (instance 0)").
std::optional<std::size_t> ChooseInstance(const std::vector<std::string>& paths,
                                          std::string_view choice, std::string& error);

}  // namespace vrq::sim
