// What a verb runs with: the opened board, the chip's address, the exchange options and where
// its results and messages go. A verb never opens a board or parses a word itself, so one
// process can run many command lines against a board opened once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "board/board_session.h"
#include "board/clock.h"
#include "cli/exit_code.h"
#include "cli/output.h"
#include "device/register_map.h"

namespace vrq::cli {

class BoardSet;
class Runner;

// The options that shape each exchange, as the command line gave them.
struct ExchangeOptions {
    std::uint8_t address7 = device::kDefaultChipAddress7;
    int retries = 0;  // repeats of an exchange that failed on the USB side
    int timeoutMs = board::BoardSession::kDefaultTimeoutMs;
    bool force = false;  // reserved addresses, read-only registers
};

struct Context {
    Output& out;
    Output& err;
    board::Clock& clock;
    ExchangeOptions options;
    BoardSet* boards = nullptr;              // every board present (list)
    board::BoardSession* session = nullptr;  // the board the command works on
    Runner* runner = nullptr;                // runs further command lines on the same boards

    // Says what failed on standard error, one line.
    ExitCode Fail(ExitCode code, std::string_view message);
    // The exit code and message for an exchange that did not succeed; doing says what the
    // tool was doing ("reading register 0x03").
    ExitCode Failed(board::Outcome outcome, std::string_view doing);

    // Register transfers with the chip at the chosen address, repeated as --retries asks.
    board::Outcome Read(std::uint8_t first, std::span<std::uint8_t> values);
    board::Outcome Write(std::uint8_t first, std::span<const std::uint8_t> values);

    // Any exchange of the session, repeated while it fails on the USB side (no answer, report
    // not written, answers out of step), at most options.retries times. A gone board or a
    // chip that did not acknowledge is not asked again.
    template <typename Exchange>
    auto Retrying(Exchange&& exchange) {
        auto result = exchange();
        for (int i = 0; i < options.retries && WorthRepeating(OutcomeOf(result)); ++i) {
            result = exchange();
        }
        return result;
    }

    static bool WorthRepeating(board::Outcome outcome);

  private:
    static board::Outcome OutcomeOf(board::Outcome outcome) { return outcome; }
    template <typename T>
    static board::Outcome OutcomeOf(const board::Result<T>& result) {
        return result.outcome;
    }
};

// The exit code an exchange's outcome stands for.
ExitCode ExitFor(board::Outcome outcome);

// "registers 0x00..0x0C", "register 0x03".
std::string RegistersText(unsigned first, std::size_t count);

}  // namespace vrq::cli
