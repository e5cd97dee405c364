// A seeded soak of the board link: random operations against several simulated boards with
// faults injected at random, every message answered Retry, and after every operation a check
// that each simulated chip holds exactly what the acknowledged writes put there.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "board/report.h"

namespace vrq::test {

struct SoakFaults {
    bool failedWrites = true;   // the command report is not written
    bool lostAnswers = true;    // the command runs, its answer never comes
    bool lateAnswers = true;    // the answer comes up to 90 ms late
    bool noAcknowledge = true;  // the chip refuses one transfer
    bool unplug = true;         // the board is pulled and plugged back at the next message
    bool secondProgram = true;  // another program of ours tries to open the boards
    bool unsolicited = false;   // a report nobody asked for, at a random moment
};

struct SoakOptions {
    std::uint32_t seed = 1;
    int operations = 5000;
    int boards = 2;
    bool realBoardPace = false;
    int faultPercent = 4;  // chance that an operation has a fault injected
    SoakFaults faults;
};

struct SoakReport {
    int operations = 0;
    int faultsInjected = 0;
    int writesLost = 0;         // acknowledged writes the chip does not hold, or held elsewhere
    int writesMisreported = 0;  // a write reported refused that the chip took, or the reverse
    int wrongReads = 0;         // reads reported good with values the chip does not hold
    int settingsLost = 0;       // LED or divider settings not in force after the call returned
    int handlesLeaked = 0;      // handles open beyond the boards the link holds
    int outOfStepDetected = 0;  // exchanges the sessions noticed were out of step
    std::chrono::microseconds longestOperation{0};
    std::vector<std::string> firstErrors;  // what went wrong, for the first few errors

    int Errors() const {
        return writesLost + writesMisreported + wrongReads + settingsLost + handlesLeaked;
    }
    // The counts, and the first errors one to a line.
    std::string Summary() const;
};

SoakReport RunSoak(const SoakOptions& options);

}  // namespace vrq::test
