// The link-margin commands: monitor (the chip's PRBS error counters over time, in segments),
// sweep (each receive equalization gain of one or more channels, each point measured to a
// target bit error ratio) and verify (the settings in force, to the target). The accounting,
// the statistics, the sweep and their texts are the engine's (src/margin); this file only
// drives them from a loop and says what they found.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/firmware_text.h"
#include "cli/batch_file.h"
#include "cli/boards.h"
#include "cli/numbers.h"
#include "cli/plots.h"
#include "cli/verb.h"
#include "margin/channel_sweeps.h"
#include "margin/counter_tap.h"
#include "margin/error_monitor.h"
#include "margin/margin_text.h"
#include "margin/point_meter.h"
#include "margin/register_access.h"
#include "margin/report.h"
#include "margin/statistics.h"
#include "margin/sweep.h"
#include "margin/verify.h"

namespace vrq::cli {
namespace {

using board::Outcome;
using TimePoint = board::Clock::TimePoint;

volatile std::sig_atomic_t interrupted = 0;

// While a margin command runs, Ctrl+C (or a kill) ends it between two exchanges: a monitor
// after its last line, a sweep once the registers hold their values from before.
class InterruptGuard {
  public:
    InterruptGuard() {
        interrupted = 0;
        previousInt_ = std::signal(SIGINT, [](int) { interrupted = 1; });
        previousTerm_ = std::signal(SIGTERM, [](int) { interrupted = 1; });
    }
    ~InterruptGuard() {
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    using Handler = void (*)(int);
    Handler previousInt_;
    Handler previousTerm_;
};

// False when interrupted first. Sleeps in short steps, since a signal does not cut a sleep
// short on every clock.
bool SleepUnlessInterrupted(board::Clock& clock, TimePoint when) {
    constexpr auto kStep = std::chrono::milliseconds(100);
    while (interrupted == 0) {
        const TimePoint now = clock.Now();
        if (now >= when) {
            return true;
        }
        clock.SleepUntil(std::min<TimePoint>(when, now + kStep));
    }
    return false;
}

// The chip at --address through the command's session, repeated as --retries says.
class ContextRegisters : public margin::RegisterAccess {
  public:
    explicit ContextRegisters(Context& context) : context_(context) {}
    bool Read(std::uint8_t first, std::span<std::uint8_t> values) override {
        last_ = context_.Read(first, values);
        return last_ == Outcome::Ok;
    }
    bool Write(std::uint8_t first, std::span<const std::uint8_t> values) override {
        last_ = context_.Write(first, values);
        return last_ == Outcome::Ok;
    }
    Outcome LastOutcome() const { return last_; }

  private:
    Context& context_;
    Outcome last_ = Outcome::Ok;
};

// Adds a listener to the tap for a scope.
class Listening {
  public:
    Listening(margin::CounterTap& tap, margin::CounterListener* listener)
        : tap_(tap), listener_(listener) {
        tap_.AddListener(listener_);
    }
    ~Listening() { tap_.RemoveListener(listener_); }
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

  private:
    margin::CounterTap& tap_;
    margin::CounterListener* listener_;
};

// A decimal number from a word within [low, high], or nothing.
std::optional<double> ParseDecimal(const std::string& word, double low, double high) {
    if (word.empty() || word.find_first_not_of("0123456789.eE-+") != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    if (end != word.c_str() + word.size() || !(value >= low && value <= high)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseDuration(const std::string& word, double low, double high) {
    const auto span = ParseSeconds(word);
    const double seconds = span ? static_cast<double>(span->count()) / 1e6 : -1.0;
    return seconds >= low && seconds <= high ? std::optional<double>(seconds) : std::nullopt;
}

constexpr const char* kFigures =
    "The source must send PRBS7 on all three TMDS data links: the checker counts errors against "
    "PRBS7\n"
    "only, and ordinary video runs the counters full at every setting. Time and errors count\n"
    "only while the chip is powered up, the channel is selected with its clock, the checker is on\n"
    "and the settings are those measured; every output says what was not counted and why. The\n"
    "rate is the TMDS character rate (--rate, or --pixel-clock with --colour-depth): each link\n"
    "carries seconds x rate x 10 bits. No error shows only an upper bound (-ln(1-C) / bits).\n";

// What the three commands share: the rate, the target and confidence, the checker, the
// counter tap on the session for the command's time (a counter reading of any kind counts),
// and the source check before anything is measured.
class MarginVerb : public Verb {
  public:
    explicit MarginVerb(CLI::App& command) {
        command.footer(std::string(kFigures) + command.get_footer());
        command
            .add_option("--rate", rateWord_,
                        "The TMDS character rate in MHz (the pixel clock at 8 bits a colour); "
                        "needed for the bit error ratio, or --pixel-clock")
            ->option_text("MHZ");
        command
            .add_option("--pixel-clock", pixelClockWord_,
                        "The source's pixel clock in MHz, with --colour-depth: the character "
                        "rate in place of --rate")
            ->option_text("MHZ");
        command
            .add_option("--colour-depth", depthWord_,
                        "Bits a colour with --pixel-clock: 8 (default), 10, 12 or 16 (1, 1.25, "
                        "1.5 or 2 characters a pixel)")
            ->option_text("BITS");
        command
            .add_option("--confidence", confidenceWord_,
                        "Confidence of the bounds and intervals, 0.5 to 0.9999 (default 0.95)")
            ->option_text("C");
        command.add_flag("--checker-on", checkerOn_,
                         "Turn the PRBS checker on (register 0x09 bit 2) if it is off");
    }

    std::string Prepare(const ExchangeOptions& /*options*/) final {
        std::string error = PrepareRate();
        return error.empty() ? PrepareOwn() : error;
    }

  protected:
    // The verb's own words, once the shared ones are in.
    virtual std::string PrepareOwn() = 0;

  private:
    std::string PrepareRate() {
        constexpr double kHighestMHz = 1000.0;
        if (!rateWord_.empty() && !pixelClockWord_.empty()) {
            return "give --rate or --pixel-clock, not both";
        }
        if (!rateWord_.empty()) {
            const auto rate = ParseDecimal(rateWord_, 1e-3, kHighestMHz);
            if (!rate) {
                return "--rate must be decimal MHz above 0 and up to 1000 (148.5), not '" +
                       rateWord_ + "'";
            }
            rateMHz_ = *rate;
        } else if (!pixelClockWord_.empty()) {
            const auto pixel = ParseDecimal(pixelClockWord_, 1e-3, kHighestMHz);
            if (!pixel) {
                return "--pixel-clock must be decimal MHz above 0 and up to 1000 (148.5), not '" +
                       pixelClockWord_ + "'";
            }
            const int depth = depthWord_.empty() ? 8 : std::atoi(depthWord_.c_str());
            rateMHz_ = margin::CharacterRateMHz(*pixel, depth);
            if (rateMHz_ <= 0.0 || (!depthWord_.empty() && depthWord_ != std::to_string(depth))) {
                return "--colour-depth must be 8, 10, 12 or 16, not '" + depthWord_ + "'";
            }
        } else {
            return "the bit error ratio needs the TMDS character rate: give --rate MHZ (148.5 for "
                   "1080p60 at 8 bits a colour) or --pixel-clock MHZ [--colour-depth BITS]";
        }
        if (!depthWord_.empty() && pixelClockWord_.empty()) {
            return "--colour-depth goes with --pixel-clock";
        }
        if (!confidenceWord_.empty()) {
            const auto c = ParseDecimal(confidenceWord_, 0.5, 0.9999);
            if (!c) {
                return "--confidence must be 0.5 to 0.9999 (0.95), not '" + confidenceWord_ + "'";
            }
            confidence_ = *c;
        }
        return {};
    }

  public:
    ExitCode Run(Context& context) final {
        InterruptGuard guard;
        margin::CounterTap tap;
        Tapped tapped(context, tap);
        ContextRegisters registers(context);
        auto state = margin::ReadLinkState(registers);
        if (!state) {
            return context.Failed(registers.LastOutcome(), "reading registers 0x01..0x09");
        }
        return Measure(context, tap, registers, *state);
    }

  protected:
    virtual ExitCode Measure(Context& context, margin::CounterTap& tap, ContextRegisters& registers,
                             margin::LinkState& state) = 0;

    // The checker on, turned on when --checker-on says so: false after saying why not.
    bool CheckerReady(Context& context, ContextRegisters& registers, margin::LinkState& state,
                      ExitCode& code) const {
        if (state.CheckerOn()) {
            return true;
        }
        if (!checkerOn_) {
            code = context.Fail(ExitCode::Usage,
                                "the PRBS checker is off (register 0x09 bit 2), so no error is "
                                "counted: add --checker-on to turn it on");
            return false;
        }
        if (!margin::TurnCheckerOn(registers, state)) {
            code = context.Failed(registers.LastOutcome(),
                                  "turning the PRBS checker on (register 0x09 bit 2)");
            return false;
        }
        state.test |= device::kPrbsCheckerBit;
        return true;
    }

    // The chip able to count on channel: powered up, the channel selected with its clock
    // active. False after saying why not.
    static bool CanCount(Context& context, const margin::LinkState& state, int channel,
                         ExitCode& code) {
        const margin::SweepObstacle obstacle = margin::CheckSweep(state, channel);
        if (obstacle == margin::SweepObstacle::None) {
            return true;
        }
        code = context.Fail(ExitCode::Usage, margin::ObstacleText(obstacle, state, channel));
        return false;
    }

    // The note when a channel's three counters ran full within the look at its setting.
    static std::string SourceNote(int channel) {
        return std::string("note: at its current setting channel ") +
               device::ChannelLetter(channel) +
               "'s three counters ran full within 0.1 s: the setting is far off, or the source "
               "does not send PRBS7; " +
               margin::PrbsHint() + "\n";
    }

    // A tenth of a second at the current setting: counters that run full at once mean the
    // source is not sending PRBS7 (or the setting is far off). Said on standard error; false
    // only when the chip did not answer.
    bool CheckSource(Context& context, ContextRegisters& registers, int channel,
                     ExitCode& code) const {
        constexpr auto kLook = std::chrono::milliseconds(100);
        const auto first = margin::Poll(registers, context.clock);
        if (first) {
            context.clock.SleepUntil(context.clock.Now() + kLook);
        }
        const auto second = first ? margin::Poll(registers, context.clock) : std::nullopt;
        if (!second) {
            code = context.Failed(registers.LastOutcome(),
                                  "reading the error counters (registers 0x01..0x0C)");
            return false;
        }
        const bool full = std::all_of(second->counts.begin(), second->counts.end(),
                                      [](std::uint8_t c) { return c == device::kCounterFull; });
        if (full) {
            context.err.Write(SourceNote(channel));
        }
        return true;
    }

    // Hands every exchange of the session to the tap while the command runs.
    class Tapped {
      public:
        Tapped(Context& context, margin::CounterTap& tap)
            : session_(*context.session), previous_(session_.Observer()) {
            constexpr int kTag = 0;
            tap.Watch(kTag, static_cast<std::uint8_t>(context.options.address7 << 1));
            session_.SetObserver(&tap, kTag);
        }
        ~Tapped() { session_.SetObserver(previous_); }
        Tapped(const Tapped&) = delete;
        Tapped& operator=(const Tapped&) = delete;

      private:
        board::BoardSession& session_;
        board::ExchangeObserver* previous_;
    };

    double rateMHz_ = 0;
    double confidence_ = margin::kDefaultConfidence;

  private:
    std::string rateWord_;
    std::string pixelClockWord_;
    std::string depthWord_;
    std::string confidenceWord_;
    bool checkerOn_ = false;
};

// --report DIR with --label and --note, shared by sweep and verify: the run's metadata, read
// before and after it, and the report folder written at the end however the run ended.
class ReportOptions {
  public:
    explicit ReportOptions(CLI::App& command) {
        command
            .add_option("--report", dir_,
                        "Write a report into DIR: index.html (opens offline), the plots as PNG, "
                        "points.csv and run.json with the metadata")
            ->option_text("DIR");
        command.add_option("--label", label_, "A label for the report (cable, fixture, ...)")
            ->option_text("TEXT");
        command.add_option("--note", note_, "A note for the report (temperature, ...)")
            ->option_text("TEXT");
    }
    bool Wanted() const { return !dir_.empty(); }

    // The metadata known before the run, and the registers as they are.
    void Begin(Context& context, ContextRegisters& registers) {
        if (!Wanted()) {
            return;
        }
        margin::RunInfo& info = report.info;
        info.started = margin::WallClockNow();
        info.host = margin::HostName();
        info.program = std::string("vrq66208a-cli ") + VRQ_VERSION;
        info.address7 = context.options.address7;
        info.label = label_;
        info.note = note_;
        if (context.boards != nullptr &&
            context.boards->CurrentInstance() < context.boards->Paths().size()) {
            info.boardPath = context.boards->Paths()[context.boards->CurrentInstance()];
        }
        const auto firmware = context.session->ReadFirmwareVersion();
        if (firmware.Ok()) {
            info.firmware = board::FirmwareVersionText(firmware.value, board::EnglishMonthName);
        }
        info.registersBefore = Snapshot(registers);
    }

    // Writes the report when asked for; code unless writing it failed.
    ExitCode Finish(Context& context, ContextRegisters& registers, ExitCode code) {
        if (!Wanted()) {
            return code;
        }
        report.info.ended = margin::WallClockNow();
        report.info.registersAfter = Snapshot(registers);
        std::string missing;
        const auto painter = LoadPlotPainter(missing);
        std::string error;
        if (!margin::WriteReport(dir_, report, painter.get(), missing, error)) {
            return Worse(code, context.Fail(ExitCode::Output, error));
        }
        context.err.Write("report: " + (std::filesystem::path(dir_) / "index.html").string() +
                          (painter == nullptr ? " (no plots: " + missing + ")" : "") + "\n");
        return code;
    }

    margin::MarginReport report;

  private:
    static std::vector<std::uint8_t> Snapshot(ContextRegisters& registers) {
        std::vector<std::uint8_t> values(device::kRegisterCount);
        return registers.Read(0x00, values) ? values : std::vector<std::uint8_t>{};
    }

    std::string dir_;
    std::string label_;
    std::string note_;
};

// --target-ber, shared by sweep and verify.
std::optional<double> ParseTarget(const std::string& word) {
    return ParseDecimal(word, 1e-18, 1e-3);
}
constexpr const char* kTargetError =
    "--target-ber must be a ratio from 1e-18 to 1e-3 (1e-9), not '";

// Drives a verification to its end; the exit code for what it found.
ExitCode RunVerify(Context& context, margin::CounterTap& tap, ContextRegisters& registers,
                   const margin::LinkState& state, const margin::VerifySettings& settings,
                   bool json, margin::MarginReport* report = nullptr) {
    margin::VerifyRun run(registers, context.clock, settings);
    {
        Listening listening(tap, &run);
        run.Start(state);
        while (const auto next = run.Advance()) {
            if (!SleepUnlessInterrupted(context.clock, *next)) {
                run.Cancel();
            }
        }
    }
    const margin::VerifyResult& result = run.Result();
    if (report != nullptr) {
        report->verify = result;
        report->verifySettings = settings;
    }
    context.out.Write(
        (json ? margin::VerifyJson(result, settings) : margin::VerifyText(result, settings)) +
        "\n");
    using O = margin::VerifyResult::Outcome;
    switch (result.outcome) {
        case O::Pass:
            return ExitCode::Ok;
        case O::Cancelled:
            return context.Fail(ExitCode::Interrupted, "interrupted: the verification stopped");
        case O::NoAnswer:
            return context.Failed(registers.LastOutcome(), "verifying");
        default:
            return ExitCode::TargetMissed;
    }
}

class MonitorVerb : public MarginVerb {
  public:
    explicit MonitorVerb(CLI::App& command) : MarginVerb(command) {
        command
            .add_option("--interval", intervalWord_,
                        "Seconds between two readings of the counters (default 1; 0.1 to 3600)")
            ->option_text("S");
        command.add_option("--count", count_, "Stop after N lines (default 0: no limit)")
            ->option_text("N")
            ->check(CLI::Range(0, 100000000));
        command
            .add_option("--duration", durationWord_,
                        "Stop after T seconds (default: no limit; 0.1 to 31536000)")
            ->option_text("T");
        command
            .add_option("--until-ber", untilWord_,
                        "Stop once the segment's upper bound is at or below B (exit 0; 7 when the "
                        "run ends first)")
            ->option_text("B");
        command
            .add_option("--stop-on-errors", stopOnErrors_,
                        "Stop once a link of the segment has N errors (exit 8)")
            ->option_text("N")
            ->check(CLI::Range(1, 100000000));
        command.add_option("--log", logPath_, "Append every line as JSON to FILE as it comes")
            ->option_text("FILE");
        AddJsonFlag(command, json_);
    }

    std::string PrepareOwn() override {
        if (!intervalWord_.empty()) {
            const auto span = ParseSeconds(intervalWord_);
            if (!span || *span < std::chrono::milliseconds(100) || *span > std::chrono::hours(1)) {
                return "--interval must be decimal seconds from 0.1 to 3600 (0.5), not '" +
                       intervalWord_ + "'";
            }
            interval_ = *span;
        }
        if (!durationWord_.empty()) {
            duration_ = ParseDuration(durationWord_, 0.1, 31536000.0);
            if (!duration_) {
                return "--duration must be decimal seconds from 0.1 to 31536000, not '" +
                       durationWord_ + "'";
            }
        }
        if (!untilWord_.empty()) {
            until_ = ParseTarget(untilWord_);
            if (!until_) {
                return "--until-ber must be a ratio from 1e-18 to 1e-3 (1e-9), not '" + untilWord_ +
                       "'";
            }
        }
        return {};
    }

    ExitCode Measure(Context& context, margin::CounterTap& tap, ContextRegisters& registers,
                     margin::LinkState& state) override {
        ExitCode code = ExitCode::Ok;
        if (!CanCount(context, state, state.Selected(), code) ||
            !CheckerReady(context, registers, state, code) ||
            !CheckSource(context, registers, state.Selected(), code)) {
            return code;
        }
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(nullptr, &std::fclose);
        if (!logPath_.empty()) {
            log.reset(std::fopen(logPath_.c_str(), "a"));
            if (!log) {
                return context.Fail(ExitCode::Output, "cannot open the log " + logPath_);
            }
        }
        margin::ErrorMonitor monitor;
        Listening listening(tap, &monitor);
        const TimePoint start = context.clock.Now();
        monitor.Start(start);
        // The first reading only clears the counters: each line covers one interval.
        TimePoint due = start;
        for (int line = 0; count_ == 0 || line <= count_; ++line) {
            if (!SleepUnlessInterrupted(context.clock, due)) {
                return context.Fail(ExitCode::Interrupted, "interrupted");
            }
            due += interval_;
            if (!margin::ReadLinkState(registers, true)) {
                return context.Failed(registers.LastOutcome(),
                                      "reading the error counters (registers 0x01..0x0C)");
            }
            if (line == 0) {
                continue;
            }
            const std::string wall = margin::WallClockNow();
            const std::string json = margin::MonitorJson(monitor, rateMHz_, wall);
            context.out.Write((json_ ? json : wall + " " + margin::MonitorLine(monitor, rateMHz_)) +
                              "\n");
            // Each line as it comes, for a reader at the other end of a pipe; a reader that
            // went away ends the monitor.
            if (!context.out.Flush()) {
                return ExitCode::Output;
            }
            if (log &&
                (std::fputs((json + "\n").c_str(), log.get()) < 0 || std::fflush(log.get()) != 0)) {
                return context.Fail(ExitCode::Output, "cannot write the log " + logPath_);
            }
            if (const auto ended = Ended(context, monitor, start)) {
                return *ended;
            }
        }
        return until_ ? context.Fail(ExitCode::TargetMissed,
                                     "the bound did not reach the --until-ber ratio")
                      : ExitCode::Ok;
    }

  private:
    // What ends the run after this line, if anything.
    std::optional<ExitCode> Ended(Context& context, const margin::ErrorMonitor& monitor,
                                  TimePoint start) const {
        const auto& segment = monitor.Current();
        if (segment && until_) {
            const auto worst = margin::WorstFigure(segment->tally, rateMHz_, confidence_);
            if (worst && worst->upper <= *until_) {
                context.err.Write(
                    "the bound reached the --until-ber ratio: " + margin::BerText(worst) + "\n");
                return ExitCode::Ok;
            }
        }
        if (segment && stopOnErrors_ > 0 &&
            segment->tally.MostErrors() >= static_cast<unsigned>(stopOnErrors_)) {
            return context.Fail(ExitCode::ErrorsSeen, "stopped: a link has " +
                                                          std::to_string(stopOnErrors_) +
                                                          " errors (--stop-on-errors)");
        }
        if (duration_ &&
            std::chrono::duration<double>(context.clock.Now() - start).count() >= *duration_) {
            return until_ ? context.Fail(ExitCode::TargetMissed,
                                         "the --duration ran out before the bound reached the "
                                         "--until-ber ratio")
                          : ExitCode::Ok;
        }
        return std::nullopt;
    }

    std::string intervalWord_;
    std::chrono::microseconds interval_{std::chrono::seconds(1)};
    int count_ = 0;
    std::string durationWord_;
    std::optional<double> duration_;
    std::string untilWord_;
    std::optional<double> until_;
    int stopOnErrors_ = 0;
    std::string logPath_;
    bool json_ = false;
};

class VerifyVerb : public MarginVerb {
  public:
    explicit VerifyVerb(CLI::App& command) : MarginVerb(command) {
        command
            .add_option("--target-ber", targetWord_, "The bit error ratio to show (default 1e-9)")
            ->option_text("B");
        command
            .add_option("--limit", limitWord_,
                        "Seconds of counted time at most (default three times what the target "
                        "needs)")
            ->option_text("S");
        AddJsonFlag(command, json_);
        report_ = std::make_unique<ReportOptions>(command);
    }

    std::string PrepareOwn() override {
        if (!targetWord_.empty()) {
            const auto target = ParseTarget(targetWord_);
            if (!target) {
                return kTargetError + targetWord_ + "'";
            }
            settings_.targetBer = *target;
        }
        if (!limitWord_.empty()) {
            const auto limit = ParseDuration(limitWord_, 0.1, 31536000.0);
            if (!limit) {
                return "--limit must be decimal seconds from 0.1, not '" + limitWord_ + "'";
            }
            settings_.limitSeconds = *limit;
        }
        return {};
    }

    ExitCode Measure(Context& context, margin::CounterTap& tap, ContextRegisters& registers,
                     margin::LinkState& state) override {
        ExitCode code = ExitCode::Ok;
        report_->Begin(context, registers);  // the registers before anything is changed
        if (!CanCount(context, state, state.Selected(), code) ||
            !CheckerReady(context, registers, state, code) ||
            !CheckSource(context, registers, state.Selected(), code)) {
            return code;
        }
        settings_.channel = state.Selected();
        settings_.characterRateMHz = rateMHz_;
        settings_.confidence = confidence_;
        const ExitCode verified =
            RunVerify(context, tap, registers, state, settings_, json_, &report_->report);
        margin::MarginReport& report = report_->report;
        report.end =
            report.verify && report.verify->outcome == margin::VerifyResult::Outcome::Cancelled
                ? margin::RunEnd::Cancelled
                : margin::RunEnd::Finished;
        return report_->Finish(context, registers, verified);
    }

  private:
    std::unique_ptr<ReportOptions> report_;
    std::string targetWord_;
    std::string limitWord_;
    bool json_ = false;
    margin::VerifySettings settings_;
};

class SweepVerb : public MarginVerb {
  public:
    explicit SweepVerb(CLI::App& command) : MarginVerb(command) {
        CLI::Option* channel =
            command.add_option("--channel", channelWord_, "The selected input channel to sweep")
                ->option_text("A|B|C|D");
        CLI::Option* channels =
            command
                .add_option("--channels", channelsWord_,
                            "Sweep these channels in turn, each selected by hand (register "
                            "0x02), or every channel with a clock; 0x02, 0x03, 0x07 and 0x08 are "
                            "put back at the end")
                ->option_text("all-active|A,C,...");
        channel->excludes(channels);
        command
            .add_option("--target-ber", targetWord_,
                        "The bit error ratio each point must show (default 1e-9)")
            ->option_text("B");
        command
            .add_option("--dwell", dwellWord_,
                        "A fixed time per point instead (0.1 to 3600 s); it shows what it can")
            ->option_text("S");
        command
            .add_option("--stop-after-errors", stopAfter_,
                        "A point stops once a link has N errors (default 20; 0 never)")
            ->option_text("N")
            ->check(CLI::Range(0, 1000000));
        command.add_flag("--hysteresis", hysteresis_,
                         "Sweep each gain at hysteresis off, 10 mV and 20 mV (three times "
                         "as long)");
        command.add_flag("--apply", apply_,
                         "Leave the recommended gain in the chip instead of the one from before");
        command.add_flag("--apply-hysteresis", applyHysteresis_,
                         "With --apply, also set the hysteresis the sweep found best: it is "
                         "shared by all four inputs");
        command
            .add_option("--verify", verifyWord_,
                        "Then verify the chosen setting until the target is shown, for up to "
                        "LIMIT seconds (default three times a point's time)")
            ->option_text("[LIMIT]")
            ->expected(0, 1);
        command.add_flag("--progress", progress_,
                         "Progress and time left on standard error even when it is no terminal");
        CLI::Option* csv = command.add_flag(
            "--csv", csv_, "Print a CSV row per point as it is measured (stream it to a file)");
        command.add_flag("--json", json_,
                         "Print a JSON line per point as it is measured, then the whole sweep "
                         "as one JSON document (its fields are in the README)");
        csv->excludes(command.get_option("--json"));
        verifyOption_ = command.get_option("--verify");
        report_ = std::make_unique<ReportOptions>(command);
    }

    std::string PrepareOwn() override {
        if (channelWord_.empty() && channelsWord_.empty()) {
            return "give --channel A|B|C|D or --channels all-active|A,C,...";
        }
        if (!channelWord_.empty()) {
            const int channel = ChannelOf(channelWord_);
            if (channel < 0) {
                return "--channel must be A, B, C or D, not '" + channelWord_ + "'";
            }
            channels_ = {channel};
        } else if (channelsWord_ != "all-active") {
            for (std::size_t at = 0; at <= channelsWord_.size();) {
                const std::size_t comma =
                    std::min(channelsWord_.find(',', at), channelsWord_.size());
                const int channel = ChannelOf(channelsWord_.substr(at, comma - at));
                if (channel < 0 ||
                    std::find(channels_.begin(), channels_.end(), channel) != channels_.end()) {
                    return "--channels must be all-active or channels A to D once each (A,C), "
                           "not '" +
                           channelsWord_ + "'";
                }
                channels_.push_back(channel);
                at = comma + 1;
            }
        }
        if (!targetWord_.empty()) {
            settings_.targetBer = ParseTarget(targetWord_);
            if (!settings_.targetBer) {
                return kTargetError + targetWord_ + "'";
            }
        }
        if (!dwellWord_.empty()) {
            const auto seconds =
                ParseDuration(dwellWord_, margin::kMinDwellSeconds, margin::kMaxDwellSeconds);
            if (!seconds) {
                return "--dwell must be decimal seconds from 0.1 to 3600 (0.5), not '" +
                       dwellWord_ + "'";
            }
            settings_.dwell = std::chrono::duration_cast<board::Clock::Duration>(
                std::chrono::duration<double>(*seconds));
        }
        // The parser's options are gone by the time the command runs: what it saw, kept.
        verify_ = verifyOption_->count() > 0;
        if (verify_ && !verifyWord_.empty()) {
            const auto limit = ParseDuration(verifyWord_, 0.1, 31536000.0);
            if (!limit) {
                return "--verify takes decimal seconds from 0.1, not '" + verifyWord_ + "'";
            }
            verifyLimit_ = *limit;
        }
        if (applyHysteresis_ && !apply_) {
            return "--apply-hysteresis goes with --apply";
        }
        settings_.crossHysteresis = hysteresis_;
        settings_.stopAfterErrors = stopAfter_;
        return {};
    }

    ExitCode Measure(Context& context, margin::CounterTap& tap, ContextRegisters& registers,
                     margin::LinkState& state) override {
        ExitCode code = ExitCode::Ok;
        settings_.characterRateMHz = rateMHz_;
        settings_.confidence = confidence_;
        showProgress_ = progress_ || context.err.IsTerminal();
        const bool single = channelsWord_.empty();
        report_->Begin(context, registers);  // the registers before anything is changed
        if ((single && !CanCount(context, state, channels_.front(), code)) ||
            !CheckerReady(context, registers, state, code)) {
            return code;
        }
        if (channelsWord_ == "all-active") {
            for (int channel = 0; channel < device::kChannelCount; ++channel) {
                if (state.ClockActive(channel)) {
                    channels_.push_back(channel);
                }
            }
            if (channels_.empty()) {
                return context.Fail(
                    ExitCode::Usage,
                    "no channel shows a TMDS clock (register 0x01); " + margin::PrbsHint());
            }
        }
        if (csv_) {
            context.out.Write(margin::SweepCsvHeader());
        }
        margin::ChannelSweeps sweeps(registers, context.clock, {settings_, channels_, !single});
        Follow(context, sweeps);
        {
            Listening listening(tap, &sweeps);
            sweeps.Start(state);
            while (const auto next = sweeps.Advance()) {
                if (!SleepUnlessInterrupted(context.clock, *next)) {
                    sweeps.Cancel();
                }
            }
        }
        const auto ended = Ended(context, registers, sweeps, single);
        code = ended    ? *ended
               : single ? Chosen(context, tap, registers, sweeps)
                        : ChosenForAll(context, registers, sweeps);
        margin::MarginReport& report = report_->report;
        report.sweeps = sweeps.Results();
        report.failure = sweeps.FailureText();
        switch (sweeps.CurrentState()) {
            case margin::ChannelSweeps::State::Cancelled:
                report.end = margin::RunEnd::Cancelled;
                break;
            case margin::ChannelSweeps::State::Failed:
                report.end = margin::RunEnd::Failed;
                break;
            default:
                report.end = margin::RunEnd::Finished;
                if (!single) {
                    report.choice = sweeps.Choose(true);
                }
                break;
        }
        return report_->Finish(context, registers, code);
    }

  private:
    static int ChannelOf(const std::string& word) {
        const int letter = word.size() == 1 ? std::toupper(static_cast<unsigned char>(word[0])) : 0;
        return letter >= 'A' && letter <= 'D' ? letter - 'A' : -1;
    }

    // What the run says as it goes: the source note and the plan before each channel, each
    // point as it is measured, each channel's map or document at its end.
    void Follow(Context& context, margin::ChannelSweeps& sweeps) const {
        sweeps.onChannel = [&](const margin::SweepRun& run) {
            const int channel = run.Result().settings.channel;
            const auto& suspects = sweeps.SourceSuspects();
            if (std::find(suspects.begin(), suspects.end(), channel) != suspects.end()) {
                context.err.Write(SourceNote(channel));
            }
            if (showProgress_) {
                context.err.Write(
                    margin::SweepPlanText(run.Result().settings, run.Result().plan.size()) + "\n");
            }
        };
        sweeps.onPoint = [&](const margin::SweepRun& run, const margin::PointResult& point) {
            const margin::SweepResult& result = run.Result();
            if (csv_) {
                context.out.Write(margin::SweepCsvRow(result, point));
            } else if (json_) {
                context.out.Write(margin::SweepPointJson(result, point) + "\n");
            }
            context.out.Flush();
            if (showProgress_) {
                context.err.Write(
                    std::string(1, device::ChannelLetter(result.settings.channel)) + " " +
                    margin::PointText(point.point) + ": " + margin::VerdictText(point.verdict) +
                    ", " + margin::BerText(point.figure) +
                    (point.measurements > 1 ? " (measured twice)" : "") +
                    margin::UncountedText(point.tally) + " | " +
                    std::to_string(sweeps.PointsDone()) + " of " +
                    std::to_string(sweeps.PointsTotal()) + " points, at most " +
                    margin::DurationText(std::chrono::duration<double>(sweeps.TimeLeft()).count()) +
                    " left\n");
            }
        };
        sweeps.onChannelEnd = [&](const margin::SweepRun& run) {
            const margin::SweepResult& result = run.Result();
            if (json_) {
                context.out.Write(margin::SweepJson(result) + "\n");
            } else if (!csv_) {
                context.out.Write(margin::SweepMapText(result));
            } else {
                context.err.Write(margin::RecommendationText(result) + "\n");
            }
        };
    }

    // The exit code of a run that did not finish; nullopt for one that did.
    static std::optional<ExitCode> Ended(Context& context, ContextRegisters& registers,
                                         const margin::ChannelSweeps& sweeps, bool single) {
        using State = margin::ChannelSweeps::State;
        const std::string letter(1, device::ChannelLetter(sweeps.CurrentChannel().value_or(0)));
        switch (sweeps.CurrentState()) {
            case State::Cancelled:
                return context.Fail(
                    ExitCode::Interrupted,
                    single ? "interrupted: channel " + letter +
                                 "'s registers hold their values from before again"
                           : std::string("interrupted: registers 0x02, 0x03, 0x07 and 0x08 hold "
                                         "their values from before again"));
            case State::Failed:
                if (sweeps.Obstacle() != margin::SweepObstacle::None) {
                    return context.Fail(ExitCode::Usage, sweeps.FailureText());
                }
                return registers.LastOutcome() != Outcome::Ok
                           ? context.Failed(
                                 registers.LastOutcome(),
                                 "sweeping channel " + letter + ": " + sweeps.FailureText())
                           : context.Fail(ExitCode::TargetMissed, "sweeping channel " + letter +
                                                                      ": " + sweeps.FailureText());
            default:
                return std::nullopt;
        }
    }

    // One channel: its recommendation applied, verified, or only said.
    ExitCode Chosen(Context& context, margin::CounterTap& tap, ContextRegisters& registers,
                    margin::ChannelSweeps& sweeps) {
        const margin::ChannelChoice choice = sweeps.Choose(applyHysteresis_);
        const std::optional<margin::Recommendation>& chosen = choice.channels.front().second;
        if (!chosen) {
            return context.Fail(ExitCode::NothingPassed,
                                std::string(apply_ ? "nothing applied: " : "") +
                                    "no setting showed the target ratio; the registers hold their "
                                    "values from before");
        }
        if ((apply_ || verify_) && !sweeps.Apply(choice, applyHysteresis_)) {
            return context.Failed(registers.LastOutcome(),
                                  "applying " + margin::PointText(chosen->point));
        }
        if (apply_) {
            report_->report.applied = true;
            context.err.Write("applied: " + margin::PointText(chosen->point) +
                              (applyHysteresis_ ? ""
                                                : " (the hysteresis as it was: it is shared "
                                                  "by all four inputs)") +
                              "\n");
        }
        if (!verify_) {
            return ExitCode::Ok;
        }
        const auto now = margin::ReadLinkState(registers);
        if (!now) {
            return context.Failed(registers.LastOutcome(), "reading registers 0x01..0x09");
        }
        margin::VerifySettings verify;
        verify.channel = choice.channels.front().first;
        verify.characterRateMHz = rateMHz_;
        verify.targetBer = settings_.Target();
        verify.confidence = confidence_;
        verify.limitSeconds = verifyLimit_ > 0 ? verifyLimit_ : 3.0 * settings_.DwellSeconds();
        const ExitCode verified =
            RunVerify(context, tap, registers, *now, verify, false, &report_->report);
        if (!apply_) {
            sweeps.Restore();  // the setting from before again
        }
        return verified;
    }

    // Several channels: the hysteresis best for all of them and each channel's gain at it,
    // applied in one write or only said.
    ExitCode ChosenForAll(Context& context, ContextRegisters& registers,
                          margin::ChannelSweeps& sweeps) {
        const margin::ChannelChoice choice = sweeps.Choose(true);
        for (const auto& [channel, r] : choice.channels) {
            if (r) {
                context.err.Write(std::string("channel ") + device::ChannelLetter(channel) + ": " +
                                  margin::PointText(r->point) + ", margin " +
                                  std::to_string(r->Margin()) + "\n");
            }
        }
        if (!choice.Complete()) {
            return context.Fail(ExitCode::NothingPassed,
                                "no hysteresis has a setting that showed the target ratio on "
                                "every channel; the registers hold their values from before");
        }
        if (apply_ && !sweeps.Apply(choice, true)) {
            return context.Failed(registers.LastOutcome(),
                                  "writing the chosen gains to registers 0x07 and 0x08");
        }
        report_->report.applied = apply_;
        context.err.Write(std::string(apply_ ? "applied" : "chosen") + ": hysteresis " +
                          std::string(device::HysteresisText(choice.hysteresis)) +
                          " for all channels (the smallest margin across them is greatest)\n");
        return ExitCode::Ok;
    }

    std::string channelWord_;
    std::string channelsWord_;
    std::vector<int> channels_;
    std::string targetWord_;
    std::string dwellWord_;
    int stopAfter_ = margin::kDefaultStopAfterErrors;
    bool hysteresis_ = false;
    bool apply_ = false;
    bool applyHysteresis_ = false;
    std::string verifyWord_;
    double verifyLimit_ = 0;
    CLI::Option* verifyOption_ = nullptr;  // while the command line is parsed only
    bool verify_ = false;
    bool progress_ = false;
    bool showProgress_ = false;
    bool csv_ = false;
    bool json_ = false;
    margin::SweepSettings settings_;
    std::unique_ptr<ReportOptions> report_;
};

}  // namespace

// verbs_compare.cpp
std::unique_ptr<Verb> MakeCompareVerb(CLI::App& command);

namespace {

constexpr std::array<VerbEntry, 4> kVerbs{{
    {"monitor",
     "Count the PRBS checker's errors per data link over time, in segments, with the bit error "
     "ratio",
     "Reading clears the counters, so every reading adds to the totals; the first one only\n"
     "clears them. A change of channel, gain, hysteresis, power, clock or checker closes a\n"
     "segment and starts the next. Ctrl+C or SIGTERM ends it (exit 130).\n"
     "Exit: 0 done (or --until-ber reached), 7 the run ended before --until-ber, 8 "
     "--stop-on-errors.\n"
     "Examples:\n"
     "  vrq66208a-cli monitor --rate 148.5 --count 10        ten lines, a second apart\n"
     "  vrq66208a-cli monitor --rate 148.5 --interval 0.5 --json --log night.jsonl\n"
     "  vrq66208a-cli monitor --pixel-clock 297 --colour-depth 10 --until-ber 1e-10 --duration "
     "3600\n",
     Make<MonitorVerb>},
    {"sweep",
     "Measure each receive equalization gain of a channel to a target bit error ratio and "
     "recommend one",
     "Each point counts until its upper bound shows --target-ber (default 1e-9) with\n"
     "--confidence (default 0.95), or for --dwell, or until N errors; it passes when the bound is\n"
     "at or below the target. The recommendation is the passing gain farthest from any failing\n"
     "one; the end of the range is no failure but leaves that margin unmeasured. Only the\n"
     "channel's gain (and with --hysteresis the hysteresis bits of 0x03) are written, and put "
     "back\n"
     "at the end, on a failure or on Ctrl+C. The hysteresis is shared by all four inputs: a\n"
     "single-channel sweep does not change it unless --apply-hysteresis.\n"
     "Exit: 0 a setting passed, 6 none did, 7 --verify failed or the source stopped.\n"
     "Examples:\n"
     "  vrq66208a-cli sweep --channel A --rate 148.5\n"
     "  vrq66208a-cli sweep --channel A --rate 148.5 --hysteresis --csv > sweep.csv\n"
     "  vrq66208a-cli sweep --channels all-active --rate 148.5 --hysteresis --apply --verify\n"
     "  vrq66208a-cli sweep --channel A --rate 148.5 --report cable-a --label 'cable A, 2 m'\n",
     Make<SweepVerb>},
    {"verify",
     "Measure the settings in force until the target bit error ratio is shown (PASS) or not",
     "The selected channel counts until its upper bound is at or below --target-ber (PASS,\n"
     "exit 0), or until --limit runs out or the errors make the target unreachable (FAIL, exit "
     "7).\n"
     "Examples:\n"
     "  vrq66208a-cli verify --rate 148.5\n"
     "  vrq66208a-cli verify --rate 594 --target-ber 1e-10 --limit 600 --json\n"
     "  vrq66208a-cli verify --rate 148.5 --report verified --note '45 C'\n",
     Make<VerifyVerb>},
    {"compare",
     "Compare saved runs: window, margin and verify result per run and channel, and what differs",
     "Each RUN is a report folder (--report DIR), its run.json, or a file of what\n"
     "sweep --json printed. Runs measured at different rates, targets, confidences or dwells\n"
     "do not compare like with like: the table says so under it.\n"
     "Examples:\n"
     "  vrq66208a-cli compare cable-a/ cable-b/\n"
     "  vrq66208a-cli compare rev1/run.json rev2/run.json --report rev1-vs-rev2\n",
     MakeCompareVerb},
}};

}  // namespace

std::span<const VerbEntry> MarginVerbs() {
    return kVerbs;
}

}  // namespace vrq::cli
