// What the binding's sources share: raising the module's exceptions with the interpreter held,
// running a chip's exchanges with it released, and waiting so that Ctrl+C gets through.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "board/clock.h"
#include "chip_core.h"

namespace vrq::python {

namespace py = pybind11;

// Raises the module's exception class name (vrq66208a._errors) with message and the
// attributes in details. The interpreter must be held.
[[noreturn]] void Raise(const char* name, const std::string& message, py::dict details = {});
// The exception for an exchange that did not succeed; doing says what was being done
// ("reading register 0x03").
[[noreturn]] void RaiseOutcome(const ChipCore& core, board::Outcome outcome,
                               std::string_view doing);
[[noreturn]] void RaiseBadInput(const std::string& message);
[[noreturn]] void RaiseClosed();

// Locks the core's mutex with the interpreter released, so that a thread that holds the
// mutex and wants the interpreter back (a sweep between two steps) is never waited for while
// the interpreter is held.
std::unique_lock<std::recursive_mutex> LockCore(ChipCore& core);

// Runs work on the chip with the interpreter released and the core locked; BoardError when
// the chip was closed. work's result comes back with the interpreter held again.
template <typename Work>
auto OnChip(ChipCore& core, Work&& work) -> decltype(work()) {
    std::optional<decltype(work())> result;
    {
        py::gil_scoped_release released;
        std::lock_guard lock(core.Mutex());
        if (core.Session() != nullptr) {
            result.emplace(work());
        }
    }
    if (!result) {
        RaiseClosed();
    }
    return std::move(*result);
}

// Sleeps until when with the interpreter released, in short steps, and raises whatever a
// signal handler raised in between (KeyboardInterrupt on Ctrl+C).
void WaitUntil(board::Clock& clock, board::Clock::TimePoint when);

// A chip as Python holds it (Chip derives from it): the core, shared with the monitors and
// boards made from it.
struct PyChip {
    std::shared_ptr<ChipCore> core;
    ChipCore& Core() const { return *core; }
};

// The binding's parts.
void BindChip(py::module_& module);
void BindMargin(py::module_& module, py::class_<PyChip>& chip);

}  // namespace vrq::python
