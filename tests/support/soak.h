// A seeded fault soak of the board link: random operations from a table against several
// simulated boards, faults injected at random, every message answered Retry (every board
// plugged back in first) on a shortened answer time-out. After every operation it checks that
// each chip holds exactly what the acknowledged writes put there (a shadow chip per board
// takes those writes), that every LED and divider setting made is in force, that only the
// boards the link holds are open, and, on virtual time, that the operation ended within the
// watchdog's time. A run repeats exactly for its seed.
//
// The operation table is open: the soak of the main window (window_soak.h) builds its window
// on Transport(), passes operations of its own (keys, Read All, re-calibration, register
// files), reports what they did through WriteDone, ReadDone and the setting calls, and answers
// its messages through MessageShown.
#pragma once

#include <chrono>
#include <cstdint>
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

struct SoakFaults {
    bool failedWrites = true;   // the command report is not written
    bool lostAnswers = true;    // the command runs, its answer never comes
    bool lateAnswers = true;    // the answer comes up to 90 ms late
    bool noAcknowledge = true;  // the chip refuses the operation's transfers
    bool unplug = true;         // pulled now, during the next command, or pulled and put back
    bool secondProgram = true;  // another program of ours tries to open the boards
    bool strayReports = true;   // a report nobody asked for, now or during the next command
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

struct SoakReport {
    std::uint32_t seed = 0;
    int operations = 0;
    int faultsInjected = 0;
    int messages = 0;
    // What went wrong.
    int writesLost = 0;          // a chip does not hold what was acknowledged, or holds more
    int writesMisreported = 0;   // a write reported refused that no chip refused, or the reverse
    int wrongReads = 0;          // values, LED or clock reported that the board does not hold
    int valuesFromFailures = 0;  // a failed read changed the caller's values
    int settingsLost = 0;        // LED or divider settings not in force after the call returned
    int handlesLeaked = 0;       // handles open beyond the boards the link holds
    int hung = 0;                // an operation ran past the watchdog
    // The main window's soak (window_soak.h).
    int windowWrong = 0;   // the window shows or saves a register value that no successful
                           // read or write of that register gave, or shows another board,
                           // LED, clock or address than the one in force
    int endingsWrong = 0;  // Cancel or Yes did not end the program at once, boards closed
    int programEnds = 0;   // Cancel and Yes answers followed to the program's end
    // Stray reports: each one the soak sends is marked, so that the answers taken can be told.
    int straysSent = 0;
    int outOfStepDetected = 0;  // answers the sessions did not trust (the exchange repeated)
    int earlyForOwed = 0;       // reports a drain set aside as too soon to be an owed answer
    int straysSlipped = 0;      // stray reports taken for a request's answer
    int straysSlippedOwed = 0;  // stray reports a drain took for an owed acknowledgement
    int errorsAfterSlips = 0;   // errors soon after a stray slipped through (the report it
                                // stood in for comes later, and may be taken for another)
    std::chrono::microseconds longestOperation{0};
    std::chrono::microseconds timeTaken{0};  // on the soak's clock
    std::vector<std::string> firstErrors;    // what went wrong, for the first few errors

    int AllErrors() const {
        return writesLost + writesMisreported + wrongReads + valuesFromFailures + settingsLost +
               handlesLeaked + hung + windowWrong + endingsWrong;
    }
    // The errors that no slipped stray explains: a protocol without request numbers cannot
    // always tell a stray report from the answer; anything else is a fault of ours.
    int Errors() const { return AllErrors() - errorsAfterSlips; }
    // The counts, and the first errors one to a line.
    std::string Summary() const;
};

class SoakRun;

struct SoakOperation {
    const char* name;
    int weight;  // how often, against the other operations' weights
    std::function<void(SoakRun&)> run;
    bool nestable = true;  // may run inside another operation's pause
};

// Reads and writes of every kind (retrying, single attempts, quiet, refused, to an absent
// chip), LED, clock, firmware, drains, pauses, instance changes and rediscovery.
std::vector<SoakOperation> BoardLinkOperations();

class SoakRun {
  public:
    // Adds options.boards boards to sim. On a sim::VirtualClock, the watchdog is set on it.
    SoakRun(const SoakOptions& options, board::Clock& clock, sim::SimTransport& sim);
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

  private:
    struct Expected {
        sim::ChipModel chip;  // the acknowledged writes, and nothing else
        bool led = false;
        std::uint8_t divider = 0;
    };
    class Watch;
    class StrayCounter;

    void RunOne(const SoakOperation& operation);
    void InjectFault();
    void EndFaults();
    void SecondProgram();
    void Check();
    bool RefusedOn(std::optional<std::size_t> board) const;
    const SoakOperation& Pick(bool nested);

    SoakOptions options_;
    board::Clock& clock_;
    sim::SimTransport& sim_;
    link::BoardLink* link_ = nullptr;
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

// Prints the report and expects of it: no error that no slipped stray explains, every
// operation run, and more than leastFaults faults injected.
void ExpectRunClean(const SoakOptions& options, const SoakReport& report, int leastFaults);

// The board link's soak: a link on simulated boards with a host that answers Retry, running
// the operations given.
SoakReport RunSoak(const SoakOptions& options,
                   const std::vector<SoakOperation>& operations = BoardLinkOperations());

}  // namespace vrq::test
