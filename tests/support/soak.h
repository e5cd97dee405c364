// A seeded fault soak of the board link: random operations from a table against several
// simulated boards, faults injected at random, every message answered Retry (every board
// plugged back in first) on a shortened answer time-out; boards found again are asked for
// their LED and clock and the divider sent back, as the window does. After every operation it
// checks that each chip holds exactly what the acknowledged writes put there (a shadow chip
// per board takes those writes), that every LED and divider setting made is in force, that
// only the boards the link holds are open, and, on virtual time, that the operation ended
// within the watchdog's time. A run repeats exactly for its seed.
//
// Every error counts. The board's reports carry no request number, so a stray report that
// arrives where an answer is awaited can stand in for it, above all when the answer itself
// is lost: a wrong value that follows a stray is reported apart, against an explicit budget
// (SoakReport::StrayBudget). A write reported
// done that the chip does not hold, a failed read that changed the caller's values, a leak, a
// hang or a wrong end is never put down to a stray, nor is a wrong value that follows none;
// the one exception is shown, not assumed: a write whose answer the board lost and whose
// "done" was a marked stray (a stray sent with one operation may still be on its way when the
// next one's answer is lost). It is counted apart (writesOkFromStrays) against its own budget.
//
// The operation table is open: the soak of the main window (window_soak.h) builds its window
// on Transport(), passes operations of its own (keys, Read All, re-calibration, register
// files), reports what they did through WriteDone, ReadDone and the setting calls, and answers
// its messages through MessageShown.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "board/clock.h"
#include "sim/chip_model.h"
#include "sim/sim_transport.h"
#include "ui/link/board_link.h"
#include "ui/link/status.h"

namespace vrq::test {

// What the soak does wrong to the boards, one kind per fault injected.
enum class SoakFault : int {
    FailedWrite,         // the command report is not written
    LostAnswer,          // the command runs, its answer never comes
    LateAnswer,          // the answer comes up to 90 ms late
    LongLateAnswer,      // the answer comes 100 to 450 ms late: during later exchanges, after
                         // a reconnection
    NoAcknowledge,       // the chip refuses the operation's transfers
    Unplug,              // pulled now, during the next command, or pulled and put back
    SecondProgram,       // another program of ours tries to open the boards
    Stray,               // a report nobody asked for (all zero but a marker), now or 0 to 5 ms
                         // after the next command
    DuplicateAnswer,     // the next answer comes twice, the copy 0 to 2 ms after it
    ReplayedAnswer,      // a copy of one of the board's earlier answers, as a stray
    StrayAndRefusal,     // a stray with the next command, and the chip refusing it
    StrayAndLostAnswer,  // a stray with the next command, whose answer never comes (not with a
                         // request the chip refuses by design: that stray is the protocol's
                         // limit, and no soak could tell it from a write done)
    StartUpStrays,       // the program starts again (nothing timed) with strays on every board
    kCount,
};
inline constexpr int kSoakFaultKinds = static_cast<int>(SoakFault::kCount);
const char* SoakFaultName(SoakFault fault);
// The kinds whose reports no request number tells from an answer.
bool IsStrayKind(SoakFault fault);

struct SoakFaults {
    std::array<bool, kSoakFaultKinds> enabled;
    SoakFaults() { enabled.fill(true); }
    bool& operator[](SoakFault fault) { return enabled[static_cast<std::size_t>(fault)]; }
    bool operator[](SoakFault fault) const { return enabled[static_cast<std::size_t>(fault)]; }
    static SoakFaults StraysOnly();
    static SoakFaults WithoutStrays();
};

struct SoakOptions {
    std::uint32_t seed = 1;
    int operations = 20000;
    int boards = 3;
    bool realBoardPace = true;  // answers take a real board's time; false: they come at once
    bool virtualTime = true;    // false: the machine's clock, and the soak takes real time
    int faultPercent = 5;       // chance that an operation has a fault injected
    int timeoutMs = 40;         // the answer time-out, shortened from the board's 6 s
    int longestPauseMs = 200;   // of the pauses and waits the operations make
    std::chrono::seconds watchdog{30};  // virtual time one operation may take at most
    SoakFaults faults;
};

// The chip address the soak's boards answer at (7-bit 0x44), in write form.
inline constexpr std::uint8_t kSoakChip = device::kDefaultChipAddressByte;

// What followed the faults of one kind.
struct SoakKindFigures {
    int injected = 0;
    int errorsAfter = 0;  // wrong values in operations it may explain (a stray kind), or any
                          // error in operations it came just before (the others)
};

struct SoakReport {
    std::uint32_t seed = 0;
    int operations = 0;
    int faultsInjected = 0;
    int messages = 0;
    // Never a stray's doing.
    int writesOkNotHeld = 0;     // a write reported done that the chip does not hold
    int valuesFromFailures = 0;  // a failed read changed the caller's values
    int handlesLeaked = 0;       // handles open beyond the boards the link holds
    int hung = 0;                // an operation ran past the watchdog
    int endingsWrong = 0;        // Cancel or Yes did not end the program at once, boards closed
    // Wrong values: a stray taken for an answer may explain these.
    int writesLost = 0;         // a chip holds other than what the acknowledged writes put there
    int writesMisreported = 0;  // a write reported refused that no chip refused
    int wrongReads = 0;         // values, LED or clock reported that the board does not hold
    int settingsLost = 0;       // LED or divider settings not in force after the call returned
    int windowWrong = 0;        // the main window's soak (window_soak.h): the window shows or
                                // saves a register value that no successful read or write of
                                // that register gave, or shows another board, LED, clock or
                                // address than the one in force
    int programEnds = 0;        // Cancel and Yes answers followed to the program's end
    // A write reported done that the chip does not hold, where the board's answer to it was
    // lost and a marked stray came in its place, on time: the protocol's limit (an answer
    // carries no request number, and "done" is all zero), so counted apart from
    // writesOkNotHeld, against its own budget: one per answer lost in an operation that met
    // a stray.
    int writesOkFromStrays = 0;
    int lostAnswersMetByStrays = 0;
    // How the wrong values stand against the strays.
    int errorsAfterStrays = 0;  // wrong values within kStrayAftermath of a stray's fault
    int unexplained = 0;        // wrong values with no stray before them
    int straysSent = 0;         // reports sent that nobody asked for, of every stray kind
    int operationsWithStrays = 0;
    std::array<SoakKindFigures, kSoakFaultKinds> byKind{};
    // What the sessions noticed.
    int outOfStepDetected = 0;  // answers the sessions did not trust (the exchange repeated)
    int setAside = 0;           // reports too soon to be a request's answer, set aside
    int earlyForOwed = 0;       // reports a drain set aside as too soon to be an owed answer
    int ambiguous = 0;          // results the sessions could not vouch for
    int straysSlipped = 0;      // marked strays taken for a request's answer
    int straysSlippedOwed = 0;  // marked strays a drain took for an owed answer
    std::chrono::microseconds longestOperation{0};
    std::chrono::microseconds timeTaken{0};  // on the soak's clock
    std::vector<std::string> firstErrors;    // what went wrong, for the first few errors

    int HardErrors() const {
        return writesOkNotHeld + valuesFromFailures + handlesLeaked + hung + endingsWrong;
    }
    int WrongValues() const {
        return writesLost + writesMisreported + wrongReads + settingsLost + windowWrong;
    }
    // Every error, whatever may explain it.
    int Errors() const { return HardErrors() + WrongValues() + writesOkFromStrays; }
    int AllErrors() const { return Errors(); }
    // The wrong values strays may explain: one for each stray whose answer was lost (nothing
    // tells such a stray from the answer: the protocol's limit), and kStrayBudgetPercent of
    // all the strays sent besides.
    static constexpr int kStrayBudgetPercent = 1;
    int StrayBudget() const {
        return byKind[static_cast<std::size_t>(SoakFault::StrayAndLostAnswer)].injected +
               straysSent * kStrayBudgetPercent / 100;
    }
    // No hard error, no wrong value without a stray before it, and those with one within
    // the budget.
    bool Clean() const {
        return HardErrors() == 0 && unexplained == 0 && errorsAfterStrays <= StrayBudget() &&
               writesOkFromStrays <= lostAnswersMetByStrays;
    }
    // The counts, and the first errors one to a line.
    std::string Summary() const;
    // One line per fault kind: injected, errors after it.
    std::string FiguresByKind() const;
};

class SoakRun;

struct SoakOperation {
    const char* name;
    int weight;  // how often, against the other operations' weights
    std::function<void(SoakRun&)> run;
    bool nestable = true;          // may run inside another operation's pause
    bool refusedByDesign = false;  // to an absent chip: the chip never acknowledges it
};

// Reads and writes of every kind (retrying, single attempts, quiet, refused, to an absent
// chip), LED, clock, firmware, drains, pauses, instance changes and rediscovery.
std::vector<SoakOperation> BoardLinkOperations();

class SoakRun {
  public:
    // Adds options.boards boards to sim. On a sim::VirtualClock, the watchdog is set on it.
    SoakRun(const SoakOptions& options, board::Clock& clock, sim::SimTransport& sim);
    // How to start the program again (a new link on Transport(), nothing timed), for the
    // start-up fault; without it, that fault is not injected.
    void SetRestart(std::function<std::unique_ptr<link::BoardLink>()> restart) {
        restart_ = std::move(restart);
    }
    ~SoakRun();
    SoakRun(const SoakRun&) = delete;
    SoakRun& operator=(const SoakRun&) = delete;

    // The link the operations go through: the soak's time-out, the chip address, an observer;
    // its boards are found unless they have been.
    void Attach(link::BoardLink& link);
    SoakReport Run(const std::vector<SoakOperation>& operations);

    // ---- For the host: a message is shown. Every board is plugged back in, as a user who
    // fixes the cable before pressing Retry.
    void MessageShown();
    // ---- For the host: the boards were found; as the window does, the LED and the clock
    // are read and the divider sent back (the LED too, when it is not what the box shows).
    void BoardsFound();
    // ---- For the host: window events inside a pause. Now and then another operation runs.
    void PendingEvents();

    // What the link must be built on: the simulated boards, watched for stray reports.
    board::HidTransport& Transport();

    // ---- For the operations
    int Uniform(int low, int high);  // inclusive
    link::BoardLink& Link() { return *link_; }
    const SoakReport& Progress() const { return report_; }
    sim::SimTransport& Sim() { return sim_; }
    board::Clock& Clock() { return clock_; }
    const SoakOptions& Options() const { return options_; }
    // The simulated board behind the current instance.
    std::optional<std::size_t> CurrentSimBoard() const;
    // A register write has returned. target: the board current when it started. once: a
    // single attempt (no Retry, so no other board). Checks the status and takes the write into
    // the shadow chips where it may have landed.
    void WriteDone(std::optional<std::size_t> target, std::uint8_t address, std::uint8_t first,
                   std::span<const std::uint8_t> values, link::Status status, bool once);
    // A register read has returned: good values are the chip's; a failure left the caller's
    // values as they were (before).
    void ReadDone(std::uint8_t address, std::uint8_t first, std::span<const std::uint8_t> values,
                  std::span<const std::uint8_t> before, link::Status status);
    void LedSet(bool on);
    void DividerSet(std::uint8_t divider);
    void Error(int SoakReport::*counter, const std::string& what);
    // Reads the LED and the clock of the board now current and sends them back, as the
    // window's instance list does; checks what was read.
    void RefreshAsTheWindowDoes();
    // The next answer of board b is lost, and a marked stray comes when it was due.
    void StrayInPlaceOfNextAnswer(std::size_t b);

  private:
    struct Expected {
        sim::ChipModel chip;  // the acknowledged writes, and nothing else
        bool led = false;
        std::uint8_t divider = 0;
    };
    class Watch;
    class StrayCounter;

    void RunOne(const SoakOperation& operation);
    // Writes this operation reported done from a marked stray where the board's answer was
    // lost: moved from writesOkNotHeld to writesOkFromStrays (the protocol's limit).
    void CountStraysInPlaceOfLostAnswers(int okNotHeldBefore, int droppedBefore,
                                         int strayWritesBefore, bool afterStray);
    int AnswersDropped();
    void InjectFault(const SoakOperation& operation);
    void InjectOne(SoakFault kind, std::size_t board);
    // A stray to board b: a marked one or a replay; now, or with the next command.
    void SendStray(std::size_t board, bool withNextCommand, bool replay);
    void StartAgain();
    void EndFaults();
    void SecondProgram();
    void Check();
    bool RefusedOn(std::optional<std::size_t> board) const;
    const SoakOperation& Pick(bool nested);

    SoakOptions options_;
    board::Clock& clock_;
    sim::SimTransport& sim_;
    link::BoardLink* link_ = nullptr;
    std::function<std::unique_ptr<link::BoardLink>()> restart_;
    std::unique_ptr<link::BoardLink> restarted_;  // during a start-up fault
    link::BoardLink* original_ = nullptr;
    bool ledBox_ = false;  // what the window's LED box would show
    // Each board's recent answers, to replay; and a duplicate the next answer owes.
    std::vector<std::deque<board::Report>> answers_;
    std::vector<bool> duplicateNext_;
    // When the last stray of any kind was sent, for the errors it may explain.
    board::Clock::TimePoint lastStray_{};
    std::optional<SoakFault> lastStrayKind_;
    std::optional<SoakFault> thisOperation_;  // the fault injected into the running one
    std::mt19937 rng_;
    std::vector<Expected> expected_;
    std::optional<std::size_t> refusing_;  // the board whose chip refuses this operation
    std::unique_ptr<StrayCounter> strays_;
    std::unique_ptr<Watch> watch_;
    const std::vector<SoakOperation>* operations_ = nullptr;
    int totalWeight_ = 0;
    bool nested_ = false;
    const char* running_ = "";
    board::Clock::TimePoint deadline_ = board::Clock::TimePoint::max();
    long waits_ = 0;
    SoakReport report_;
};

// Prints the report and expects of it: Clean(), every operation run, and more than
// leastFaults faults injected.
void ExpectRunClean(const SoakOptions& options, const SoakReport& report, int leastFaults);

// The board link's soak: a link on simulated boards with a host that answers Retry, running
// the operations given.
SoakReport RunSoak(const SoakOptions& options,
                   const std::vector<SoakOperation>& operations = BoardLinkOperations());

}  // namespace vrq::test
