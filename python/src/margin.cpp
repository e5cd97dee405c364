// The link-margin engine driven from Python: a sweep and a verification run to their end on the
// caller's thread, a monitor hands one reading per step of a Python loop. The checks before
// anything is measured are the command-line tool's. Every wait releases the interpreter and
// looks for Ctrl+C; Ctrl+C, or a progress callback that raises, cancels a sweep, whose
// registers are put back before the exception goes on.
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "binding.h"
#include "margin/error_monitor.h"
#include "margin/margin_text.h"
#include "margin/point_meter.h"
#include "margin/sweep.h"
#include "margin/verify.h"

namespace vrq::python {

namespace {

using board::Outcome;
using TimePoint = board::Clock::TimePoint;

constexpr const char* kPrbsHint =
    "is the source sending PRBS7 on all three data links? The checker counts errors against "
    "PRBS7 only: ordinary video runs the counters full at every setting";

std::string Letter(int channel) {
    return std::string(1, device::ChannelLetter(channel));
}

margin::LinkState ReadState(ChipCore& core, CoreRegisters& registers) {
    std::optional<margin::LinkState> state;
    {
        py::gil_scoped_release released;
        state = margin::ReadLinkState(registers);
    }
    if (!state) {
        RaiseOutcome(core, registers.LastOutcome(), "reading registers 0x01..0x09");
    }
    return *state;
}

// The chip able to count on channel: powered up, the channel selected with its clock.
void CheckCanCount(const margin::LinkState& state, int channel) {
    switch (margin::CheckSweep(state, channel)) {
        case margin::SweepObstacle::None:
            return;
        case margin::SweepObstacle::PoweredDown:
            RaiseBadInput(
                "the chip is powered down (register 0x02 bit 5): its inputs are open, so nothing "
                "would be measured");
        case margin::SweepObstacle::NotSelected:
            RaiseBadInput("channel " + Letter(channel) +
                          " is not the selected channel: register 0x02 selects channel " +
                          Letter(state.Selected()) +
                          ", and the error counters count the selected channel only");
        case margin::SweepObstacle::NoClock:
            RaiseBadInput("channel " + Letter(channel) +
                          " shows no TMDS clock (register 0x01): the checker counts nothing "
                          "without one; " +
                          kPrbsHint);
    }
}

// The checker on, turned on when checker_on says so.
void CheckerReady(ChipCore& core, CoreRegisters& registers, margin::LinkState& state,
                  bool checkerOn) {
    if (state.CheckerOn()) {
        return;
    }
    if (!checkerOn) {
        RaiseBadInput(
            "the PRBS checker is off (register 0x09 bit 2), so no error is counted: add "
            "checker_on=True to turn it on");
    }
    bool on = false;
    {
        py::gil_scoped_release released;
        on = margin::TurnCheckerOn(registers, state);
    }
    if (!on) {
        RaiseOutcome(core, registers.LastOutcome(),
                     "turning the PRBS checker on (register 0x09 bit 2)");
    }
    state.test |= device::kPrbsCheckerBit;
}

// A tenth of a second at the current setting: counters that run full at once mean the source
// is not sending PRBS7 (or the setting is far off), said as a PrbsWarning.
void CheckSource(ChipCore& core, CoreRegisters& registers, int channel) {
    constexpr auto kLook = std::chrono::milliseconds(100);
    board::Clock& clock = core.Clock();
    std::optional<margin::CounterReading> first;
    {
        py::gil_scoped_release released;
        first = margin::Poll(registers, clock);
    }
    if (first) {
        WaitUntil(clock, clock.Now() + kLook);
    }
    std::optional<margin::CounterReading> second;
    if (first) {
        py::gil_scoped_release released;
        second = margin::Poll(registers, clock);
    }
    if (!second) {
        RaiseOutcome(core, registers.LastOutcome(),
                     "reading the error counters (registers 0x01..0x0C)");
    }
    const bool full = std::all_of(second->counts.begin(), second->counts.end(),
                                  [](std::uint8_t c) { return c == device::kCounterFull; });
    if (full) {
        const py::object warning = py::module_::import("vrq66208a._errors").attr("PrbsWarning");
        py::module_::import("warnings")
            .attr("warn")("at its current setting channel " + Letter(channel) +
                              "'s three counters ran full within 0.1 s: the setting is far off, "
                              "or the source does not send PRBS7; " +
                              kPrbsHint,
                          warning, 2);
    }
}

// Locks the core for a measurement; BoardError when the chip was closed.
std::unique_lock<std::recursive_mutex> LockOpen(ChipCore& core) {
    auto lock = LockCore(core);
    if (core.Session() == nullptr) {
        RaiseClosed();
    }
    return lock;
}

// The chip as it is, once it has passed the command-line tool's checks for measuring channel
// (the selected one when unset).
margin::LinkState Ready(ChipCore& core, CoreRegisters& registers, std::optional<int> channel,
                        bool checkerOn) {
    margin::LinkState state = ReadState(core, registers);
    const int measured = channel.value_or(state.Selected());
    CheckCanCount(state, measured);
    CheckerReady(core, registers, state, checkerOn);
    CheckSource(core, registers, measured);
    return state;
}

// Drives a started run (a SweepRun or a VerifyRun) to its end, waiting with the interpreter
// released; between two steps, step() runs with it held. Whatever is raised meanwhile
// (KeyboardInterrupt, a callback's exception) cancels the run first.
template <typename Run, typename Step>
void Drive(Run& run, board::Clock& clock, Step&& step) {
    try {
        for (;;) {
            std::optional<TimePoint> next;
            {
                py::gil_scoped_release released;
                next = run.Advance();
            }
            step();
            if (!next) {
                return;
            }
            WaitUntil(clock, *next);
        }
    } catch (...) {
        {
            py::gil_scoped_release released;
            run.Cancel();
        }
        throw;
    }
}

py::dict Sweep(PyChip& chip, int channel, double rateMHz, std::optional<double> targetBer,
               double confidence, std::optional<double> dwell, bool hysteresis, int stopAfterErrors,
               bool apply, bool applyHysteresis, bool checkerOn, const py::object& progress) {
    ChipCore& core = chip.Core();
    const auto lock = LockOpen(core);
    CoreRegisters registers(core);
    const margin::LinkState state = Ready(core, registers, channel, checkerOn);

    margin::SweepSettings settings;
    settings.channel = channel;
    settings.characterRateMHz = rateMHz;
    settings.confidence = confidence;
    settings.targetBer = targetBer;
    if (dwell) {
        settings.dwell = std::chrono::duration_cast<board::Clock::Duration>(
            std::chrono::duration<double>(*dwell));
    }
    settings.crossHysteresis = hysteresis;
    settings.stopAfterErrors = stopAfterErrors;

    margin::SweepRun run(registers, core.Clock(), settings);
    // Points are told to Python between two steps, never from inside the engine.
    // Each with the counts as they stood at that point: several may wait for the next step.
    struct Measured {
        std::string json;
        std::size_t done = 0;
        std::size_t total = 0;
        double secondsLeft = 0.0;
    };
    std::vector<Measured> measured;
    run.onPoint = [&](const margin::PointResult& point) {
        measured.push_back({margin::SweepPointJson(run.Result(), point), run.PointsDone(),
                            run.PointsTotal(),
                            std::chrono::duration<double>(run.TimeLeft()).count()});
    };
    Listening listening(core, &run);
    {
        py::gil_scoped_release released;
        run.Start(state);
    }
    Drive(run, core.Clock(), [&] {
        std::vector<Measured> points;
        points.swap(measured);
        for (const Measured& point : points) {
            if (!progress.is_none()) {
                progress(point.json, point.done, point.total, point.secondsLeft);
            }
        }
    });

    py::dict out;
    const margin::SweepResult& result = run.Result();
    if (run.CurrentState() == margin::SweepRun::State::Failed) {
        if (registers.LastOutcome() != Outcome::Ok) {
            RaiseOutcome(core, registers.LastOutcome(),
                         "sweeping channel " + Letter(channel) + ": " + run.FailureText());
        }
        out["state"] = "failed";
    } else {
        out["state"] = "finished";
    }
    out["failure"] = run.FailureText();
    std::optional<margin::Recommendation> chosen = result.recommendation;
    if (applyHysteresis && result.otherHysteresis) {
        chosen = result.otherHysteresis;
    }
    out["applied"] = false;
    if (apply && chosen && run.CurrentState() == margin::SweepRun::State::Finished) {
        bool applied = false;
        {
            py::gil_scoped_release released;
            applied = run.Apply(chosen->point, applyHysteresis);
        }
        if (!applied) {
            RaiseOutcome(core, registers.LastOutcome(),
                         "applying " + margin::PointText(chosen->point));
        }
        out["applied"] = true;
    }
    out["json"] = margin::SweepJson(result);
    out["text"] = margin::SweepMapText(result);
    out["csv"] = margin::SweepCsv(result);
    return out;
}

py::dict Verify(PyChip& chip, double rateMHz, double targetBer, double confidence,
                double limitSeconds, bool checkerOn) {
    ChipCore& core = chip.Core();
    const auto lock = LockOpen(core);
    CoreRegisters registers(core);
    const margin::LinkState state = Ready(core, registers, std::nullopt, checkerOn);

    margin::VerifySettings settings;
    settings.channel = state.Selected();
    settings.characterRateMHz = rateMHz;
    settings.targetBer = targetBer;
    settings.confidence = confidence;
    settings.limitSeconds = limitSeconds;
    margin::VerifyRun run(registers, core.Clock(), settings);
    {
        Listening listening(core, &run);
        {
            py::gil_scoped_release released;
            run.Start(state);
        }
        Drive(run, core.Clock(), [] {});
    }
    const margin::VerifyResult& result = run.Result();
    if (result.outcome == margin::VerifyResult::Outcome::NoAnswer) {
        RaiseOutcome(core, registers.LastOutcome(), "verifying");
    }
    py::dict out;
    out["json"] = margin::VerifyJson(result, settings);
    out["text"] = margin::VerifyText(result, settings);
    return out;
}

// A monitor of the chip's error counters: each step waits for its time, reads the counters
// (and the state) and returns the reading as the command-line tool's JSON line. The core is
// locked only while it reads, so the caller may use the chip between two readings: what it
// reads of the counters counts too.
class Monitor {
  public:
    Monitor(std::shared_ptr<ChipCore> core, double intervalSeconds,
            std::optional<double> durationSeconds, std::optional<long long> count, double rateMHz)
        : core_(std::move(core)),
          registers_(*core_),
          interval_(std::chrono::duration_cast<board::Clock::Duration>(
              std::chrono::duration<double>(intervalSeconds))),
          duration_(durationSeconds),
          count_(count),
          rate_(rateMHz) {
        listening_.emplace(*core_, &monitor_);
        start_ = core_->Clock().Now();
        due_ = start_;
        monitor_.Start(start_);
    }
    ~Monitor() { Close(); }
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    // The next reading's JSON line; nothing once the count or duration is reached.
    std::optional<std::string> Next() {
        if (!listening_ || (count_ && lines_ >= *count_) ||
            (duration_ && Elapsed() >= *duration_)) {
            Close();
            return std::nullopt;
        }
        if (lines_ == 0 && !cleared_) {
            Poll();  // the first reading only clears the counters: each line covers one interval
            cleared_ = true;
        }
        WaitUntil(core_->Clock(), due_);
        Poll();
        ++lines_;
        return margin::MonitorJson(monitor_, rate_, margin::WallClockNow());
    }

    void Close() {
        if (listening_) {
            const auto lock = LockCore(*core_);
            listening_.reset();
        }
    }

  private:
    double Elapsed() const {
        return std::chrono::duration<double>(core_->Clock().Now() - start_).count();
    }

    void Poll() {
        due_ += interval_;
        const bool ok =
            OnChip(*core_, [&] { return margin::ReadLinkState(registers_, true).has_value(); });
        if (!ok) {
            RaiseOutcome(*core_, registers_.LastOutcome(),
                         "reading the error counters (registers 0x01..0x0C)");
        }
    }

    std::shared_ptr<ChipCore> core_;
    CoreRegisters registers_;
    margin::ErrorMonitor monitor_;
    std::optional<Listening> listening_;
    board::Clock::Duration interval_;
    std::optional<double> duration_;
    std::optional<long long> count_;
    double rate_;
    TimePoint start_{};
    TimePoint due_{};
    long long lines_ = 0;
    bool cleared_ = false;
};

std::unique_ptr<Monitor> StartMonitor(PyChip& chip, double interval, std::optional<double> duration,
                                      std::optional<long long> count, double rateMHz,
                                      bool checkerOn) {
    ChipCore& core = chip.Core();
    const auto lock = LockOpen(core);
    CoreRegisters registers(core);
    Ready(core, registers, std::nullopt, checkerOn);
    return std::make_unique<Monitor>(chip.core, interval, duration, count, rateMHz);
}

}  // namespace

void BindMargin(py::module_& module, py::class_<PyChip>& chip) {
    chip.def("_sweep", &Sweep, py::arg("channel"), py::arg("rate_mhz"), py::arg("target_ber"),
             py::arg("confidence"), py::arg("dwell"), py::arg("hysteresis"),
             py::arg("stop_after_errors"), py::arg("apply"), py::arg("apply_hysteresis"),
             py::arg("checker_on"), py::arg("progress"));
    chip.def("_verify", &Verify, py::arg("rate_mhz"), py::arg("target_ber"), py::arg("confidence"),
             py::arg("limit"), py::arg("checker_on"));
    chip.def("_monitor", &StartMonitor, py::arg("interval"), py::arg("duration"), py::arg("count"),
             py::arg("rate_mhz"), py::arg("checker_on"));
    py::class_<Monitor>(module, "Monitor")
        .def("next", &Monitor::Next)
        .def("close", &Monitor::Close);
}

}  // namespace vrq::python
