// The link-margin commands: monitor (the chip's PRBS error counters over time) and sweep (each
// receive equalization gain of one channel). The accounting, the sweep and their texts are the
// link-margin window's; this file only drives them from a loop.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <csignal>
#include <optional>
#include <string>

#include "cli/batch_file.h"
#include "cli/numbers.h"
#include "cli/verb.h"
#include "margin/counter_tap.h"
#include "margin/error_monitor.h"
#include "margin/margin_text.h"
#include "margin/register_access.h"
#include "margin/sweep.h"

namespace vrq::cli {
namespace {

using board::Outcome;
using TimePoint = board::Clock::TimePoint;

volatile std::sig_atomic_t interrupted = 0;

// While a margin command runs, Ctrl+C (or a kill) ends it between two exchanges: a monitor
// after its last line, a sweep once the channel's registers hold their values from before.
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

// What both commands share: the counter tap on the session for the command's time (a counter
// reading of any kind counts), the pixel clock and the checker's state before they start.
class MarginVerb : public Verb {
  public:
    explicit MarginVerb(CLI::App& command) {
        command
            .add_option("--pixel-clock", pixelClockWord_,
                        "The source's pixel clock in MHz, for the bit error ratio (default 148.5)")
            ->option_text("MHZ");
        command.add_flag("--checker-on", checkerOn_,
                         "Turn the PRBS checker on (register 0x09 bit 2) if it is off");
    }

    std::string Prepare(const ExchangeOptions& /*options*/) override {
        if (!pixelClockWord_.empty()) {
            constexpr double kHighestMHz = 1000.0;
            const auto micro = ParseSeconds(pixelClockWord_);
            const double mhz = micro ? static_cast<double>(micro->count()) / 1e6 : 0.0;
            if (mhz <= 0.0 || mhz > kHighestMHz) {
                return "--pixel-clock must be decimal MHz above 0 and up to 1000 (148.5), not '" +
                       pixelClockWord_ + "'";
            }
            pixelClockMHz_ = mhz;
        }
        return {};
    }

    // With the tap on the session and the link registers read.
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

    double pixelClockMHz_ = margin::kDefaultPixelClockMHz;

  private:
    std::string pixelClockWord_;
    bool checkerOn_ = false;
};

class MonitorVerb : public MarginVerb {
  public:
    explicit MonitorVerb(CLI::App& command) : MarginVerb(command) {
        command
            .add_option("--interval", intervalWord_,
                        "Seconds between two readings of the counters (default 1; 0.1 to 3600)")
            ->option_text("S");
        command.add_option("--count", count_, "Stop after N lines (default 0: until Ctrl+C)")
            ->option_text("N")
            ->check(CLI::Range(0, 100000000));
        AddJsonFlag(command, json_);
    }

    std::string Prepare(const ExchangeOptions& options) override {
        if (std::string error = MarginVerb::Prepare(options); !error.empty()) {
            return error;
        }
        if (!intervalWord_.empty()) {
            const auto span = ParseSeconds(intervalWord_);
            if (!span || *span < std::chrono::milliseconds(100) || *span > std::chrono::hours(1)) {
                return "--interval must be decimal seconds from 0.1 to 3600 (0.5), not '" +
                       intervalWord_ + "'";
            }
            interval_ = *span;
        }
        return {};
    }

    ExitCode Measure(Context& context, margin::CounterTap& tap, ContextRegisters& registers,
                     margin::LinkState& state) override {
        if (ExitCode code = ExitCode::Ok; !CheckerReady(context, registers, state, code)) {
            return code;
        }
        margin::ErrorMonitor monitor;
        tap.AddListener(&monitor);
        monitor.Start(context.clock.Now());
        // The first reading only clears the counters: each line covers one interval.
        TimePoint due = context.clock.Now();
        for (int line = 0; count_ == 0 || line <= count_; ++line) {
            if (!SleepUnlessInterrupted(context.clock, due)) {
                break;
            }
            due += interval_;
            if (!margin::ReadLinkState(registers, true)) {
                return context.Failed(registers.LastOutcome(),
                                      "reading the error counters (registers 0x01..0x0C)");
            }
            if (line == 0) {
                continue;
            }
            context.out.Write((json_ ? margin::MonitorJson(monitor, pixelClockMHz_)
                                     : margin::MonitorLine(monitor, pixelClockMHz_)) +
                              "\n");
            // Each line as it comes, for a reader at the other end of a pipe; a reader that
            // went away ends the monitor.
            if (!context.out.Flush()) {
                return ExitCode::Output;
            }
        }
        return ExitCode::Ok;
    }

  private:
    std::string intervalWord_;
    std::chrono::microseconds interval_{std::chrono::seconds(1)};
    int count_ = 0;
    bool json_ = false;
};

class SweepVerb : public MarginVerb {
  public:
    explicit SweepVerb(CLI::App& command) : MarginVerb(command) {
        command.add_option("--channel", channelWord_, "The input channel to sweep: A, B, C or D")
            ->option_text("A|B|C|D")
            ->required();
        command
            .add_option("--dwell", dwellWord_,
                        "Seconds the counters count at each setting (default 1; 0.1 to 60)")
            ->option_text("S");
        command.add_flag("--hysteresis", hysteresis_,
                         "Sweep each gain at hysteresis off, 10 mV and 20 mV (three times "
                         "as long)");
        command.add_flag("--apply", apply_,
                         "Leave the recommended setting in the chip instead of the one from "
                         "before");
        CLI::Option* csv = command.add_flag("--csv", csv_, "Print the points as CSV");
        AddJsonFlag(command, json_);
        csv->excludes(command.get_option("--json"));
    }

    std::string Prepare(const ExchangeOptions& options) override {
        if (std::string error = MarginVerb::Prepare(options); !error.empty()) {
            return error;
        }
        if (channelWord_.size() != 1 ||
            std::toupper(static_cast<unsigned char>(channelWord_[0])) < 'A' ||
            std::toupper(static_cast<unsigned char>(channelWord_[0])) > 'D') {
            return "--channel must be A, B, C or D, not '" + channelWord_ + "'";
        }
        settings_.channel = std::toupper(static_cast<unsigned char>(channelWord_[0])) - 'A';
        if (!dwellWord_.empty()) {
            const auto span = ParseSeconds(dwellWord_);
            const double seconds = span ? static_cast<double>(span->count()) / 1e6 : 0.0;
            if (seconds < margin::kMinDwellSeconds || seconds > margin::kMaxDwellSeconds) {
                return "--dwell must be decimal seconds from 0.1 to 60 (0.5), not '" + dwellWord_ +
                       "'";
            }
            settings_.dwell = *span;
        }
        settings_.crossHysteresis = hysteresis_;
        return {};
    }

    ExitCode Measure(Context& context, margin::CounterTap& tap, ContextRegisters& registers,
                     margin::LinkState& state) override {
        const char letter = device::ChannelLetter(settings_.channel);
        switch (margin::CheckSweep(state, settings_.channel)) {
            case margin::SweepObstacle::None:
                break;
            case margin::SweepObstacle::PoweredDown:
                return context.Fail(ExitCode::Usage,
                                    "the chip is powered down (register 0x02 bit 5): its inputs "
                                    "are open, so a sweep would measure nothing");
            case margin::SweepObstacle::NotSelected:
                return context.Fail(ExitCode::Usage,
                                    std::string("channel ") + letter +
                                        " is not the selected channel: register "
                                        "0x02 selects channel " +
                                        device::ChannelLetter(state.Selected()) +
                                        ", and the error counters count the selected channel only");
        }
        if (!state.ClockActive(settings_.channel) && !context.options.force) {
            return context.Fail(ExitCode::Usage,
                                std::string("channel ") + letter +
                                    " shows no TMDS clock (register 0x01): without a source "
                                    "its counters run full at every setting; add --force to "
                                    "sweep it anyway");
        }
        if (ExitCode code = ExitCode::Ok; !CheckerReady(context, registers, state, code)) {
            return code;
        }
        settings_.pixelClockMHz = pixelClockMHz_;
        margin::SweepRun run(registers, context.clock, settings_);
        tap.AddListener(&run);
        run.Start(state);
        while (const auto next = run.Advance()) {
            if (!SleepUnlessInterrupted(context.clock, *next)) {
                run.Cancel();
            }
        }
        const margin::SweepResult& result = run.Result();
        context.out.Write(csv_    ? margin::SweepCsv(result)
                          : json_ ? margin::SweepJson(result) + "\n"
                                  : margin::SweepMapText(result));
        switch (run.CurrentState()) {
            case margin::SweepRun::State::Cancelled:
                return context.Fail(ExitCode::Interrupted,
                                    std::string("interrupted: channel ") + letter +
                                        "'s registers hold their values from before again");
            case margin::SweepRun::State::Failed:
                return context.Failed(
                    registers.LastOutcome(),
                    "sweeping channel " + std::string(1, letter) + ": " + run.FailureText());
            default:
                break;
        }
        if (apply_) {
            if (!result.recommendation) {
                return context.Fail(ExitCode::Ok,
                                    "nothing applied: no setting was free of errors; the "
                                    "registers hold their values from before");
            }
            if (!run.Apply(result.recommendation->point)) {
                return context.Failed(
                    registers.LastOutcome(),
                    "applying " + margin::PointText(result.recommendation->point));
            }
            return context.Fail(ExitCode::Ok,
                                "applied: " + margin::PointText(result.recommendation->point));
        }
        return ExitCode::Ok;
    }

  private:
    std::string channelWord_;
    std::string dwellWord_;
    bool hysteresis_ = false;
    bool apply_ = false;
    bool csv_ = false;
    bool json_ = false;
    margin::SweepSettings settings_;
};

constexpr std::array<VerbEntry, 2> kVerbs{{
    {"monitor", "Count the PRBS checker's errors per data link over time, with the bit error ratio",
     "Reading clears the counters, so every reading adds to the totals; the first one only\n"
     "clears them. Ctrl+C ends an endless monitor.\n"
     "Examples:\n"
     "  vrq66208a-cli monitor --count 10           ten lines, a second apart\n"
     "  vrq66208a-cli monitor --interval 0.5 --json\n"
     "  vrq66208a-cli monitor --pixel-clock 297 --checker-on\n",
     Make<MonitorVerb>},
    {"sweep", "Measure the errors at each receive equalization gain of a channel and recommend one",
     "Only the channel's gain (and with --hysteresis the hysteresis bits of 0x03) are written;\n"
     "they get their values from before back at the end, on a failure or on Ctrl+C, unless\n"
     "--apply leaves the recommendation in force. The channel must be the selected one.\n"
     "Examples:\n"
     "  vrq66208a-cli sweep --channel A\n"
     "  vrq66208a-cli sweep --channel A --dwell 0.5 --hysteresis --csv > sweep.csv\n"
     "  vrq66208a-cli sweep --channel C --apply\n",
     Make<SweepVerb>},
}};

}  // namespace

std::span<const VerbEntry> MarginVerbs() {
    return kVerbs;
}

}  // namespace vrq::cli
