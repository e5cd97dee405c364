#include "cli/context.h"

#include "cli/numbers.h"

namespace vrq::cli {

using board::Outcome;

ExitCode ExitFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
            return ExitCode::Ok;
        case Outcome::NoAcknowledge:
            return ExitCode::NoAcknowledge;
        case Outcome::NoAnswer:
        case Outcome::NotWritten:
        case Outcome::BoardGone:
        case Outcome::Ambiguous:
            return ExitCode::Board;
        case Outcome::Refused:
            return ExitCode::Usage;
    }
    return ExitCode::Board;
}

bool Context::WorthRepeating(Outcome outcome) {
    return outcome == Outcome::NoAnswer || outcome == Outcome::NotWritten ||
           outcome == Outcome::Ambiguous;
}

ExitCode Context::Fail(ExitCode code, std::string_view message) {
    out.Flush();  // what came before the failure reads before it on a terminal
    err.Write(std::string(message) + "\n");
    err.Flush();
    return code;
}

ExitCode Context::Failed(Outcome outcome, std::string_view doing) {
    std::string why;
    switch (outcome) {
        case Outcome::Ok:
            return ExitCode::Ok;
        case Outcome::NoAcknowledge:
            why = "the chip at address " + Hex(options.address7) +
                  " did not acknowledge: check --address ('detect' shows the chips that answer) "
                  "and the chip's power";
            break;
        case Outcome::NoAnswer:
            why = "the board did not answer within " + std::to_string(options.timeoutMs) +
                  " ms: check the USB cable, then run the command again (--retries repeats "
                  "by itself, --timeout waits longer)";
            break;
        case Outcome::NotWritten:
            why =
                "the command could not be sent to the board: check the USB cable and the "
                "board's power, then run the command again";
            break;
        case Outcome::BoardGone:
            why =
                "the board is gone (unplugged, or its USB connection failed): plug it in "
                "again and run the command again";
            break;
        case Outcome::Ambiguous:
            why =
                "the board's answers stayed out of step with the requests: run the command "
                "again; replug the board if it keeps happening";
            break;
        case Outcome::Refused:
            why = "not a request the board can carry out: check the arguments";
            break;
    }
    return Fail(ExitFor(outcome), std::string(doing) + ": " + why);
}

Outcome Context::Read(std::uint8_t first, std::span<std::uint8_t> values) {
    const auto addressByte = static_cast<std::uint8_t>(options.address7 << 1);
    return Retrying([&] { return session->ReadRegisters(addressByte, first, values); });
}

Outcome Context::Write(std::uint8_t first, std::span<const std::uint8_t> values) {
    const auto addressByte = static_cast<std::uint8_t>(options.address7 << 1);
    return Retrying([&] { return session->WriteRegisters(addressByte, first, values); });
}

std::string RegistersText(unsigned first, std::size_t count) {
    if (count == 1) {
        return "register " + Hex(first);
    }
    return "registers " + Hex(first) + ".." + Hex(static_cast<unsigned>(first + count - 1));
}

}  // namespace vrq::cli
