// The link-margin engine driven from Python: a sweep (of one channel or several, through the
// engine's composer, as the command-line tool's) and a verification run to their end on the
// caller's thread, a monitor hands one reading per step of a Python loop. The checks before
// anything is measured are the command-line tool's. Every wait releases the interpreter and
// looks for Ctrl+C; Ctrl+C, or a progress callback that raises, cancels a sweep, whose
// registers are put back before the exception goes on. A sweep's record writes the report
// folder `sweep --report` writes.
#include <pybind11/stl.h>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

#include "binding.h"
#include "board/firmware_text.h"
#include "cli/plots.h"
#include "margin/channel_sweeps.h"
#include "margin/error_monitor.h"
#include "margin/margin_text.h"
#include "margin/point_meter.h"
#include "margin/report.h"
#include "margin/sweep.h"
#include "margin/verify.h"

namespace vrq::python {

namespace {

using board::Outcome;
using TimePoint = board::Clock::TimePoint;

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
    const margin::SweepObstacle obstacle = margin::CheckSweep(state, channel);
    if (obstacle != margin::SweepObstacle::None) {
        RaiseBadInput(margin::ObstacleText(obstacle, state, channel));
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

// Says that channel's three counters ran full within a tenth of a second, as a PrbsWarning.
void WarnSource(int channel) {
    const py::object warning = py::module_::import("vrq66208a._errors").attr("PrbsWarning");
    py::module_::import("warnings")
        .attr("warn")("at its current setting channel " + Letter(channel) +
                          "'s three counters ran full within 0.1 s: the setting is far off, "
                          "or the source does not send PRBS7; " +
                          margin::PrbsHint(),
                      warning, 2);
}

// A tenth of a second at the current setting: counters that run full at once mean the source
// is not sending PRBS7 (or the setting is far off).
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
        WarnSource(channel);
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

// Drives a started run (channel sweeps or a VerifyRun) to its end, waiting with the interpreter
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

// A sweep as its report needs it: the engine's results, and where, when and on what they were
// measured. The Python result holds it; its report() writes it.
struct SweepRecord {
    margin::MarginReport report;
};

// Registers 0x00 onwards; empty when they could not be read. The interpreter released.
std::vector<std::uint8_t> Snapshot(CoreRegisters& registers) {
    std::vector<std::uint8_t> values(device::kRegisterCount);
    return registers.Read(0x00, values) ? values : std::vector<std::uint8_t>{};
}

// What the report says of the run before it starts. The interpreter released.
margin::RunInfo RunInfoBefore(ChipCore& core, CoreRegisters& registers) {
    margin::RunInfo info;
    info.started = margin::WallClockNow();
    info.host = margin::HostName();
    info.program = std::string("vrq66208a (Python) ") + VRQ_VERSION;
    info.boardPath = core.Path();
    info.address7 = core.Options().address7;
    const auto firmware = core.Retrying([&] { return core.Session()->ReadFirmwareVersion(); });
    if (firmware.Ok()) {
        info.firmware = board::FirmwareVersionText(firmware.value, board::EnglishMonthName);
    }
    info.registersBefore = Snapshot(registers);
    return info;
}

// Sweeps channels (every one with a clock when empty) in turn through the engine's composer,
// each selected by hand when byHand; a single channel without must be the selected one.
py::dict Sweep(PyChip& chip, std::vector<int> channels, bool byHand, double rateMHz,
               std::optional<double> targetBer, double confidence, std::optional<double> dwell,
               bool hysteresis, int stopAfterErrors, bool apply, bool applyHysteresis,
               bool checkerOn, const py::object& progress) {
    ChipCore& core = chip.Core();
    const auto lock = LockOpen(core);
    CoreRegisters registers(core);
    margin::LinkState state = ReadState(core, registers);
    if (channels.empty()) {
        for (int channel = 0; channel < device::kChannelCount; ++channel) {
            if (state.ClockActive(channel)) {
                channels.push_back(channel);
            }
        }
        if (channels.empty()) {
            RaiseBadInput("no channel shows a TMDS clock (register 0x01); " + margin::PrbsHint());
        }
    }
    // Every channel checked as it will be when its turn comes, before anything is written.
    for (const int channel : channels) {
        margin::LinkState then = state;
        if (byHand) {
            then.channelSelect = device::SelectingByHand(state.channelSelect, channel);
        }
        CheckCanCount(then, channel);
    }
    const auto record = std::make_shared<SweepRecord>();
    margin::MarginReport& report = record->report;
    {
        py::gil_scoped_release released;
        report.info = RunInfoBefore(core, registers);
    }
    CheckerReady(core, registers, state, checkerOn);

    margin::ChannelSweepSettings settings;
    settings.sweep.characterRateMHz = rateMHz;
    settings.sweep.confidence = confidence;
    settings.sweep.targetBer = targetBer;
    if (dwell) {
        settings.sweep.dwell = std::chrono::duration_cast<board::Clock::Duration>(
            std::chrono::duration<double>(*dwell));
    }
    settings.sweep.crossHysteresis = hysteresis;
    settings.sweep.stopAfterErrors = stopAfterErrors;
    settings.channels = channels;
    settings.byHand = byHand;
    margin::ChannelSweeps sweeps(registers, core.Clock(), settings);

    // Told to Python between two steps, never from inside the engine, in the order they came:
    // a channel whose counters ran full at its first look, or a point with the counts as they
    // stood then.
    struct Event {
        std::optional<int> suspect;
        std::string point;
        std::size_t done = 0;
        std::size_t total = 0;
        double secondsLeft = 0.0;
    };
    std::vector<Event> events;
    sweeps.onChannel = [&](const margin::SweepRun& run) {
        const int channel = run.Result().settings.channel;
        const auto& suspects = sweeps.SourceSuspects();
        if (std::find(suspects.begin(), suspects.end(), channel) != suspects.end()) {
            events.push_back({channel, {}, 0, 0, 0.0});
        }
    };
    sweeps.onPoint = [&](const margin::SweepRun& run, const margin::PointResult& point) {
        events.push_back({std::nullopt, margin::SweepPointJson(run.Result(), point),
                          sweeps.PointsDone(), sweeps.PointsTotal(),
                          std::chrono::duration<double>(sweeps.TimeLeft()).count()});
    };
    Listening listening(core, &sweeps);
    {
        py::gil_scoped_release released;
        sweeps.Start(state);
    }
    Drive(sweeps, core.Clock(), [&] {
        std::vector<Event> told;
        told.swap(events);
        for (const Event& event : told) {
            if (event.suspect) {
                WarnSource(*event.suspect);
            } else if (!progress.is_none()) {
                progress(event.point, event.done, event.total, event.secondsLeft);
            }
        }
    });

    py::dict out;
    report.sweeps = sweeps.Results();
    report.failure = sweeps.FailureText();
    const std::string letter = Letter(sweeps.CurrentChannel().value_or(channels.front()));
    std::optional<margin::ChannelChoice> choice;
    if (sweeps.CurrentState() == margin::ChannelSweeps::State::Failed) {
        if (registers.LastOutcome() != Outcome::Ok) {
            RaiseOutcome(core, registers.LastOutcome(),
                         "sweeping channel " + letter + ": " + sweeps.FailureText());
        }
        report.end = margin::RunEnd::Failed;
        out["state"] = "failed";
    } else {
        report.end = margin::RunEnd::Finished;
        out["state"] = "finished";
        // Several channels share one hysteresis: the one best for all of them.
        choice = sweeps.Choose(byHand || applyHysteresis);
        if (byHand) {
            report.choice = choice;
        }
    }
    out["failure"] = "sweeping channel " + letter + ": " + sweeps.FailureText();
    if (apply && choice && choice->Complete()) {
        bool applied = false;
        {
            py::gil_scoped_release released;
            applied = sweeps.Apply(*choice, byHand || applyHysteresis);
        }
        if (!applied) {
            RaiseOutcome(core, registers.LastOutcome(),
                         "writing the chosen gains to registers 0x07 and 0x08");
        }
        report.applied = true;
    }
    {
        py::gil_scoped_release released;
        report.info.registersAfter = Snapshot(registers);
    }
    report.info.ended = margin::WallClockNow();

    py::list documents;
    std::string text;
    std::string csv = margin::SweepCsvHeader();
    for (const margin::SweepResult& result : report.sweeps) {
        documents.append(margin::SweepJson(result));
        text += margin::SweepMapText(result);
        csv += margin::SweepCsv(result).substr(margin::SweepCsvHeader().size());
    }
    py::list chosen;
    if (report.choice) {
        for (const auto& [channel, r] : report.choice->channels) {
            chosen.append(r ? py::object(py::str(margin::RecommendationJson(r))) : py::none());
        }
    }
    out["json"] = documents;
    out["choice"] = chosen;
    out["text"] = text;
    out["csv"] = csv;
    out["applied"] = report.applied;
    out["record"] = record;
    return out;
}

// The library that draws the plots, looked for from this module's own folder: in the build
// tree, then where the programs' package installs it.
std::vector<std::filesystem::path> PlotPlaces() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&PlotPlaces), &self) == 0 || self.dli_fname == nullptr) {
        return {};
    }
    const std::filesystem::path folder = std::filesystem::path(self.dli_fname).parent_path();
    return {(folder / VRQ_PLOTS_FROM_BUILT_MODULE / cli::kPlotLibrary).lexically_normal(),
            (folder / VRQ_PLOTS_FROM_MODULE / cli::kPlotLibrary).lexically_normal()};
}

// Writes the report folder as `sweep --report DIR` does, with the operator's label and note.
// "" when it has its plots; why not, when it was written without them.
std::string WriteSweepReport(const SweepRecord& record, const std::string& dir,
                             const std::string& label, const std::string& note) {
    margin::MarginReport report = record.report;
    report.info.label = label;
    report.info.note = note;
    std::string missing;
    std::string error;
    bool written = false;
    {
        py::gil_scoped_release released;
        const auto painter = cli::LoadPlotPainterFrom(PlotPlaces(), missing);
        written = margin::WriteReport(dir, report, painter.get(), missing, error);
    }
    if (!written) {
        Raise("OutputError", error);
    }
    return missing;
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
    py::class_<SweepRecord, std::shared_ptr<SweepRecord>>(module, "SweepRecord")
        .def("write", &WriteSweepReport, py::arg("dir"), py::arg("label"), py::arg("note"));
    chip.def("_sweep", &Sweep, py::arg("channels"), py::arg("by_hand"), py::arg("rate_mhz"),
             py::arg("target_ber"), py::arg("confidence"), py::arg("dwell"), py::arg("hysteresis"),
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
