#include "binding.h"

#include <algorithm>
#include <chrono>

#include "cli/numbers.h"

namespace vrq::python {

namespace {

py::module_ Errors() {
    return py::module_::import("vrq66208a._errors");
}

// The reason BoardError gives for an exchange that failed on the board's side.
const char* ReasonOf(board::Outcome outcome) {
    switch (outcome) {
        case board::Outcome::NoAnswer:
            return "no-answer";
        case board::Outcome::NotWritten:
            return "not-written";
        case board::Outcome::BoardGone:
            return "gone";
        case board::Outcome::Ambiguous:
            return "ambiguous";
        default:
            return "cannot-open";
    }
}

}  // namespace

void Raise(const char* name, const std::string& message, py::dict details) {
    const py::object type = Errors().attr(name);
    const py::object error = type(message, **details);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

void RaiseBadInput(const std::string& message) {
    Raise("BadInput", message);
}

void RaiseClosed() {
    py::dict details;
    details["reason"] = "closed";
    Raise("BoardError", "the chip was closed: open it again with vrq66208a.open()", details);
}

// The command-line tool's messages, with the module's argument names for its options.
void RaiseOutcome(const ChipCore& core, board::Outcome outcome, std::string_view doing) {
    const cli::ExchangeOptions& options = core.Options();
    std::string why;
    switch (outcome) {
        case board::Outcome::Ok:
            why = "succeeded";
            break;
        case board::Outcome::NoAcknowledge:
            why = "the chip at address " + cli::Hex(options.address7) +
                  " did not acknowledge: check address= (vrq66208a.detect() shows the chips that "
                  "answer) and the chip's power";
            break;
        case board::Outcome::NoAnswer:
            why = "the board did not answer within " + std::to_string(options.timeoutMs) +
                  " ms: check the USB cable, then try again (retries= repeats by itself, "
                  "timeout_ms= waits longer)";
            break;
        case board::Outcome::NotWritten:
            why =
                "the command could not be sent to the board: check the USB cable and the "
                "board's power, then try again";
            break;
        case board::Outcome::BoardGone:
            why =
                "the board is gone (unplugged, or its USB connection failed): plug it in again "
                "and open it again";
            break;
        case board::Outcome::Ambiguous:
            why =
                "the board's answers stayed out of step with the requests: try again; replug "
                "the board if it keeps happening";
            break;
        case board::Outcome::Refused:
            why = "not a request the board can carry out: check the arguments";
            break;
    }
    const std::string message = std::string(doing) + ": " + why;
    switch (cli::ExitFor(outcome)) {
        case cli::ExitCode::NoAcknowledge:
            Raise("NoAcknowledge", message);
        case cli::ExitCode::Usage:
            RaiseBadInput(message);
        default:
            break;
    }
    py::dict details;
    details["reason"] = ReasonOf(outcome);
    Raise("BoardError", message, details);
}

std::unique_lock<std::recursive_mutex> LockCore(ChipCore& core) {
    std::unique_lock lock(core.Mutex(), std::try_to_lock);
    if (!lock.owns_lock()) {
        py::gil_scoped_release released;
        lock.lock();
    }
    return lock;
}

void WaitUntil(board::Clock& clock, board::Clock::TimePoint when) {
    // Ctrl+C is seen within this long.
    constexpr auto kStep = std::chrono::milliseconds(50);
    for (;;) {
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
        const board::Clock::TimePoint now = clock.Now();
        if (now >= when) {
            return;
        }
        py::gil_scoped_release released;
        clock.SleepUntil(std::min<board::Clock::TimePoint>(when, now + kStep));
    }
}

}  // namespace vrq::python

PYBIND11_MODULE(_native, module) {
    module.doc() =
        "The board session, register map, register files and link-margin engine of the "
        "VRQ66208A evaluation software. Use the vrq66208a package, which wraps this module.";
    // The exception classes are looked up when raised; importing them here makes a broken
    // installation fail at import rather than at the first failure.
    pybind11::module_::import("vrq66208a._errors");
    vrq::python::BindChip(module);
}
