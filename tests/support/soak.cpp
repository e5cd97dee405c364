#include "support/soak.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "board/discovery.h"
#include "sim/virtual_clock.h"
#include "ui/link/link_host.h"

namespace vrq::test {
namespace {

using link::Status;
using link::StatusDeviceError;
using link::StatusOk;
using link::StatusReadFailed;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// Every stray report the soak sends carries this in its last byte, where no answer to the
// soak's requests has anything: the answers taken can then be told from strays.
constexpr std::size_t kStrayMarkByte = board::kReportSize - 1;
constexpr std::uint8_t kStrayMark = 0x5A;

constexpr std::uint8_t kRegisters = static_cast<std::uint8_t>(sim::kChipRegisterCount);
constexpr std::uint8_t kTestRegister = 0x09;
constexpr std::uint8_t kPrbsCheckerBit = 0x04;  // would make the error counters count
constexpr std::uint8_t kChannelSelect = 0x02;
constexpr std::uint8_t kResetBit = 0x10;
// A wait that never ends still waits: this many waits in one operation is a hang.
constexpr long kMostWaits = 200000;
// How long after a stray was sent a wrong value may be its doing: the report it stood in for
// comes at once after it and may be taken for another answer, or be owed for as long as a
// board may still send an answer.
constexpr milliseconds kStrayAftermath{600};
// Each board's answers kept to replay.
constexpr std::size_t kAnswersKept = 16;

// Thrown by the watchdog out of the clock, through whatever waits, to the soak's loop.
struct Hang {
    std::string what;
};

bool SameRegisters(const sim::ChipModel& a, const sim::ChipModel& b) {
    for (std::uint8_t reg = 0; reg < kRegisters; ++reg) {
        if (a.Peek(reg) != b.Peek(reg)) {
            return false;
        }
    }
    return true;
}

std::string Describe(const board::Exchange& e) {
    std::ostringstream out;
    out << "command " << int{e.request[board::off::kCommand]} << "/"
        << int{e.request[board::off::kSubCommand]} << " to board " << e.board << " "
        << board::OutcomeText(e.outcome) << " after "
        << std::chrono::duration_cast<microseconds>(e.roundTrip).count() << " us (attempt "
        << e.attempt << ")";
    return out.str();
}

// Answers every message Retry, after the soak has plugged every board back in; boards found
// are asked for their LED and clock, as the window does.
class RetryHost : public link::LinkHost {
  public:
    explicit RetryHost(SoakRun& run) : run_(run) {}
    link::MessageAnswer ShowMessage(const std::string& /*text*/, link::MessageButtons /*buttons*/,
                                    const std::string& /*title*/) override {
        run_.MessageShown();
        return link::AnswerRetry;
    }
    void BoardsFound() override { run_.BoardsFound(); }
    void EndProgram() override {
        ADD_FAILURE() << "the soak never cancels";
        std::_Exit(3);
    }
    void HandlePendingEvents() override { run_.PendingEvents(); }

  private:
    SoakRun& run_;
};

// ---------------------------------------------------------------- the board link's operations

std::vector<std::uint8_t> RandomValues(SoakRun& run, std::uint8_t first, std::size_t count) {
    std::vector<std::uint8_t> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto value = static_cast<std::uint8_t>(run.Uniform(0, 255));
        const std::size_t reg = first + i;
        // The error counters stay still, so that they can be compared; a reset now and then.
        if (reg == kTestRegister) {
            value &= static_cast<std::uint8_t>(~kPrbsCheckerBit);
        }
        if (reg == kChannelSelect && run.Uniform(0, 15) != 0) {
            value &= static_cast<std::uint8_t>(~kResetBit);
        }
        values[i] = value;
    }
    return values;
}

// Another 7-bit address than the chip's, in write form.
std::uint8_t AbsentChip(SoakRun& run) {
    const int address = run.Uniform(0, 126);
    return static_cast<std::uint8_t>((address >= (kSoakChip >> 1) ? address + 1 : address) << 1);
}

void Write(SoakRun& run, std::uint8_t address, std::uint8_t first, std::size_t count, bool once,
           bool quiet) {
    const auto values = RandomValues(run, first, count);
    const auto target = run.CurrentSimBoard();
    const Status status = once ? run.Link().WriteRegistersOnce(address, first, count, values)
                               : run.Link().WriteRegisters(address, first, count, values, quiet);
    run.WriteDone(target, address, first, values, status, once);
}

void Read(SoakRun& run, std::uint8_t address, std::uint8_t first, std::size_t count, bool once,
          bool quiet) {
    std::vector<std::uint8_t> values(count);
    for (auto& v : values) {
        v = static_cast<std::uint8_t>(run.Uniform(0, 255));
    }
    const std::vector<std::uint8_t> before = values;
    const Status status = once ? run.Link().ReadRegistersOnce(address, first, count, values)
                               : run.Link().ReadRegisters(address, first, count, values, quiet);
    run.ReadDone(address, first, values, before, status);
}

std::uint8_t AnyRegister(SoakRun& run) {
    return static_cast<std::uint8_t>(run.Uniform(0, kRegisters - 1));
}

std::size_t CommandsSent(SoakRun& run) {
    std::size_t sent = 0;
    for (std::size_t b = 0; b < run.Sim().BoardCount(); ++b) {
        sent += run.Sim().Board(b).Commands().size();
    }
    return sent;
}

// Requests the link must turn away before anything is sent or shown.
void RefusedRequest(SoakRun& run) {
    std::vector<std::uint8_t> values(board::kMaxReadCount + 1, 0xA5);
    const std::vector<std::uint8_t> before = values;
    const std::span<std::uint8_t> all(values);
    link::BoardLink& link = run.Link();
    const std::size_t sent = CommandsSent(run);
    Status status = StatusOk;
    switch (run.Uniform(0, 4)) {
        case 0:
            status = link.ReadRegisters(kSoakChip, 0, 0, all, false);
            break;
        case 1:
            status = link.ReadRegisters(kSoakChip, 0, board::kMaxReadCount + 1, all, false);
            break;
        case 2:
            status = link.WriteRegisters(kSoakChip, 0, board::kMaxWriteCount + 1, all, false);
            break;
        case 3:
            status = link.ReadRegisters(kSoakChip, 0xF0, 0x20, all, false);  // past 0xFF
            break;
        default:
            status = link.WriteRegisters(kSoakChip, 3, 5, all.first(3), false);  // too few
            break;
    }
    if (status != StatusDeviceError || values != before) {
        run.Error(&SoakReport::writesMisreported, "a request that cannot be sent was not refused");
    }
    if (CommandsSent(run) != sent) {
        run.Error(&SoakReport::writesMisreported, "a refused request was sent");
    }
}

void Queries(SoakRun& run) {
    const auto now = run.CurrentSimBoard();
    switch (run.Uniform(0, 2)) {
        case 0:
            if (const auto led = run.Link().ReadLed();
                led && now && (*led == 1) != run.Sim().Board(*now).Led()) {
                run.Error(&SoakReport::wrongReads, "LED state");
            }
            break;
        case 1:
            if (const auto clock = run.Link().ReadBusClock();
                clock && now &&
                (clock->divider != run.Sim().Board(*now).Divider() ||
                 clock->baseMHz != run.Sim().Board(*now).BaseClockMHz())) {
                run.Error(&SoakReport::wrongReads,
                          "bus clock divider " + std::to_string(clock->divider));
            }
            break;
        default:
            if (const auto fw = run.Link().ReadFirmwareVersion();
                fw &&
                (fw->version != 0x12 || fw->year != 2008 || fw->month != 3 || fw->day != 15)) {
                run.Error(&SoakReport::wrongReads, "firmware version");
            }
            break;
    }
}

milliseconds SomePause(SoakRun& run) {
    return milliseconds(run.Uniform(0, run.Options().longestPauseMs));
}

}  // namespace

std::vector<SoakOperation> BoardLinkOperations() {
    return {
        {"write a register", 14,
         [](SoakRun& r) { Write(r, kSoakChip, AnyRegister(r), 1, false, false); }},
        {"write a run", 5,
         [](SoakRun& r) {
             const auto first = static_cast<std::uint8_t>(r.Uniform(0, kRegisters - 2));
             Write(r, kSoakChip, first,
                   static_cast<std::size_t>(r.Uniform(2, std::min(6, kRegisters - first))), false,
                   false);
         }},
        {"write the largest run", 1,
         [](SoakRun& r) {
             Write(r, kSoakChip, AnyRegister(r),
                   static_cast<std::size_t>(r.Uniform(20, board::kMaxWriteCount)), false, false);
         }},
        {"write once", 3, [](SoakRun& r) { Write(r, kSoakChip, AnyRegister(r), 1, true, false); }},
        {"write to an absent chip", 1,
         [](SoakRun& r) { Write(r, AbsentChip(r), AnyRegister(r), 1, false, true); }, true, true},
        {"read all in a burst", 6, [](SoakRun& r) { Read(r, kSoakChip, 0x00, 13, false, false); }},
        {"read all one by one", 2,
         [](SoakRun& r) {
             for (std::uint8_t reg = 0x00; reg <= 0x0C; ++reg) {
                 Read(r, kSoakChip, reg, 1, false, false);
             }
             Read(r, kSoakChip, 0x10, 1, false, false);
         }},
        {"read a run", 4,
         [](SoakRun& r) {
             Read(r, kSoakChip, AnyRegister(r),
                  static_cast<std::size_t>(r.Uniform(1, board::kMaxReadCount)), false, false);
         }},
        {"read once", 3, [](SoakRun& r) { Read(r, kSoakChip, AnyRegister(r), 1, true, false); }},
        {"read quietly", 2, [](SoakRun& r) { Read(r, kSoakChip, AnyRegister(r), 1, false, true); }},
        {"read an absent chip", 1, [](SoakRun& r) { Read(r, AbsentChip(r), 0x00, 1, false, true); },
         true, true},
        {"refused request", 1, RefusedRequest},
        {"set the LED", 3,
         [](SoakRun& r) {
             const bool on = r.Uniform(0, 1) == 1;
             r.Link().SetLed(on ? 1 : 0);
             r.LedSet(on);
         }},
        {"set the divider", 3,
         [](SoakRun& r) {
             const auto divider = static_cast<std::uint8_t>(r.Uniform(1, 255));
             r.Link().SetBusClockDivider(divider);
             r.DividerSet(divider);
         }},
        {"query the board", 6, Queries},
        {"drain", 2, [](SoakRun& r) { r.Link().DrainInput(); }},
        {"drain, waiting", 1,
         [](SoakRun& r) {
             if (auto* session = r.Link().CurrentSession()) {
                 session->Drain(microseconds(r.Uniform(0, 5000)));
             }
         }},
        {"pause", 2,
         [](SoakRun& r) {
             r.Link().DelaySeconds(static_cast<float>(SomePause(r).count()) / 1000.0F);
         },
         false},
        {"select an instance", 3,
         [](SoakRun& r) {
             if (r.Link().SelectBoard(static_cast<std::size_t>(r.Uniform(0, r.Options().boards)))) {
                 r.RefreshAsTheWindowDoes();
             }
         }},
        {"find the boards again", 1, [](SoakRun& r) { r.Link().FindBoards(); }},
        {"wait", 1, [](SoakRun& r) { r.Clock().SleepFor(SomePause(r)); }},
    };
}

// ---------------------------------------------------------------- the run

// The simulated boards as the link sees them, counting every stray report read from them.
class SoakRun::StrayCounter : public board::HidTransport {
  public:
    explicit StrayCounter(board::HidTransport& inner) : inner_(inner) {}
    std::vector<board::HidDeviceInfo> Enumerate() override { return inner_.Enumerate(); }
    board::OpenResult Open(const std::string& path) override {
        board::OpenResult result = inner_.Open(path);
        if (result.device) {
            result.device = std::make_unique<Device>(std::move(result.device), taken);
        }
        return result;
    }
    int taken = 0;

  private:
    class Device : public board::HidDevice {
      public:
        Device(std::unique_ptr<board::HidDevice> inner, int& taken)
            : inner_(std::move(inner)), taken_(taken) {}
        bool Write(const board::Report& report) override { return inner_->Write(report); }
        board::ReadOutcome Read(board::Report& report, int timeoutMs) override {
            const board::ReadOutcome outcome = inner_->Read(report, timeoutMs);
            if (outcome == board::ReadOutcome::Answer && report[kStrayMarkByte] == kStrayMark) {
                ++taken_;
            }
            return outcome;
        }
        std::chrono::steady_clock::duration LeastRoundTrip() const override {
            return inner_->LeastRoundTrip();
        }

      private:
        std::unique_ptr<board::HidDevice> inner_;
        int& taken_;
    };
    board::HidTransport& inner_;
};

// Counts what the sessions noticed and the marked strays that slipped through: taken for a
// request's answer, or by a drain for an owed answer (more strays taken than stale reports:
// the real answer is then still to come, unowed). Keeps the last two requests for the error
// reports.
class SoakRun::Watch : public board::ExchangeObserver {
  public:
    explicit Watch(SoakRun& run) : run_(run) {}
    void OnExchange(const board::Exchange& exchange) override {
        const int strays = run_.strays_->taken - straysSeen_;
        straysSeen_ = run_.strays_->taken;
        if (exchange.kind == board::Exchange::Kind::Drain) {
            earlyForOwed += exchange.early;
            if (strays > exchange.reports - exchange.owed) {
                ++slippedOwed;
            }
            return;
        }
        outOfStep += exchange.outOfStep ? 1 : 0;
        setAside += exchange.early;
        const bool ambiguousNow = exchange.outcome == board::Outcome::Ambiguous ||
                                  (exchange.outOfStep && exchange.attempt == 2);
        ambiguous += ambiguousNow ? 1 : 0;
        if (exchange.hasAnswer && !exchange.outOfStep && !ambiguousNow &&
            exchange.answer[kStrayMarkByte] == kStrayMark) {
            ++slipped;
            const bool write = exchange.request[board::off::kCommand] == board::CommandI2C &&
                               (exchange.request[board::off::kAddress] & 1U) == 0;
            slippedWrites += write && exchange.outcome == board::Outcome::Ok ? 1 : 0;
        }
        previous = last;
        last = exchange;
    }
    int outOfStep = 0;
    int setAside = 0;
    int ambiguous = 0;
    int slipped = 0;
    int slippedWrites = 0;  // of those, taken as a write done
    int slippedOwed = 0;
    int earlyForOwed = 0;
    board::Exchange last;
    board::Exchange previous;

  private:
    SoakRun& run_;
    int straysSeen_ = 0;
};

SoakRun::SoakRun(const SoakOptions& options, board::Clock& clock, sim::SimTransport& sim)
    : options_(options),
      clock_(clock),
      sim_(sim),
      rng_(options.seed),
      strays_(std::make_unique<StrayCounter>(sim)),
      watch_(std::make_unique<Watch>(*this)) {
    report_.seed = options.seed;
    sim_.SetZeroLatency(!options.realBoardPace);
    answers_.resize(static_cast<std::size_t>(options.boards));
    duplicateNext_.resize(static_cast<std::size_t>(options.boards));
    for (int i = 0; i < options.boards; ++i) {
        sim::SimBoard& board = sim_.AddBoard();
        expected_.push_back({board.Chip(), board.Led(), board.Divider()});
        const auto b = static_cast<std::size_t>(i);
        // Every answer is kept to replay, and sent twice when a duplicate is due.
        board.onAnswer = [this, b](const board::Report& answer, board::Clock::TimePoint ready) {
            answers_[b].push_back(answer);
            if (answers_[b].size() > kAnswersKept) {
                answers_[b].pop_front();
            }
            if (duplicateNext_[b]) {
                duplicateNext_[b] = false;
                const auto after =
                    options_.realBoardPace ? microseconds(Uniform(0, 2000)) : microseconds(0);
                sim_.SendUnsolicitedAnswer(b, ready - clock_.Now() + after, answer);
                ++report_.straysSent;
            }
        };
    }
    if (auto* virtualClock = dynamic_cast<sim::VirtualClock*>(&clock_)) {
        virtualClock->onSleep = [this](board::Clock::TimePoint, board::Clock::TimePoint until) {
            if (until > deadline_ || ++waits_ > kMostWaits) {
                throw Hang{std::string(running_) + " still running after " +
                           std::to_string(waits_) + " waits"};
            }
        };
    }
}

SoakRun::~SoakRun() {
    if (auto* virtualClock = dynamic_cast<sim::VirtualClock*>(&clock_)) {
        virtualClock->onSleep = nullptr;
    }
}

board::HidTransport& SoakRun::Transport() {
    return *strays_;
}

void SoakRun::Attach(link::BoardLink& link) {
    link_ = &link;
    link.SetAnswerTimeoutMs(options_.timeoutMs);
    link.Hub().Add(watch_.get());
    if (link.BoardCount() == 0) {
        link.FindBoards();
    }
    link.SetI2CAddress(kSoakChip);
}

int SoakRun::Uniform(int low, int high) {
    // The raw engine, not a distribution: the same run with every standard library.
    return low + static_cast<int>(rng_() % static_cast<std::uint32_t>(high - low + 1));
}

std::optional<std::size_t> SoakRun::CurrentSimBoard() const {
    const auto instance = link_->CurrentBoard();
    if (!instance) {
        return std::nullopt;
    }
    const std::string path = link_->BoardPath(*instance);
    return static_cast<std::size_t>(std::stoul(path.substr(path.find("board") + 5)));
}

bool SoakRun::RefusedOn(std::optional<std::size_t> board) const {
    return board && refusing_ == board;
}

void SoakRun::Error(int SoakReport::*counter, const std::string& what) {
    ++(report_.*counter);
    if (report_.firstErrors.size() < 10) {
        report_.firstErrors.push_back("operation " + std::to_string(report_.operations) + " (" +
                                      running_ + "): " + what + "; last " + Describe(watch_->last) +
                                      ", before it " + Describe(watch_->previous));
    }
}

void SoakRun::MessageShown() {
    ++report_.messages;
    for (std::size_t b = 0; b < sim_.BoardCount(); ++b) {
        sim_.Plug(b);
    }
}

void SoakRun::BoardsFound() {
    RefreshAsTheWindowDoes();
}

void SoakRun::RefreshAsTheWindowDoes() {
    // The LED box shows what was read; a change of the box sends it to the board.
    link::BoardLink& link = Link();
    const auto now = CurrentSimBoard();
    if (const auto led = link.ReadLed()) {
        if (now && CurrentSimBoard() == now && (*led == 1) != sim_.Board(*now).Led()) {
            Error(&SoakReport::wrongReads, "LED state read at discovery");
        }
        if ((*led == 1) != ledBox_) {
            ledBox_ = *led == 1;
            link.SetLed(*led);
        }
    }
    // The clock list is rebuilt and the divider in force sent back.
    const auto before = CurrentSimBoard();
    if (const auto clock = link.ReadBusClock()) {
        if (before && CurrentSimBoard() == before &&
            clock->divider != sim_.Board(*before).Divider()) {
            Error(&SoakReport::wrongReads,
                  "bus clock divider " + std::to_string(clock->divider) + " read at discovery");
        }
        link.SetBusClockDivider(clock->divider);
    }
}

const SoakOperation& SoakRun::Pick(bool nested) {
    for (;;) {
        int pick = Uniform(0, totalWeight_ - 1);
        for (const SoakOperation& op : *operations_) {
            if (pick < op.weight) {
                if (!nested || op.nestable) {
                    return op;
                }
                break;
            }
            pick -= op.weight;
        }
    }
}

void SoakRun::PendingEvents() {
    // A handler of the window running inside a pause, now and then.
    if (nested_ || operations_ == nullptr || Uniform(0, 99) >= 3) {
        return;
    }
    nested_ = true;
    const SoakOperation& op = Pick(true);
    const char* outer = running_;
    running_ = op.name;
    op.run(*this);
    running_ = outer;
    nested_ = false;
}

void SoakRun::WriteDone(std::optional<std::size_t> target, std::uint8_t address, std::uint8_t first,
                        std::span<const std::uint8_t> values, link::Status status, bool once) {
    const auto applied = [&](std::size_t b) {
        sim::ChipModel chip = expected_[b].chip;
        chip.Write(address, first, values);
        return chip;
    };
    const auto now = CurrentSimBoard();
    const bool present = address == kSoakChip;
    if (status == StatusOk) {
        if (!present) {
            Error(&SoakReport::writesOkNotHeld, "a write to an absent chip was acknowledged");
        } else if (now) {
            expected_[*now].chip = applied(*now);
            // The chip must hold what was acknowledged, now: nothing explains it otherwise.
            const sim::ChipModel& chip = sim_.Board(*now).Chip();
            for (std::size_t i = 0; i < values.size(); ++i) {
                const auto reg = static_cast<std::uint8_t>(first + i);
                if (chip.Peek(reg) != expected_[*now].chip.Peek(reg)) {
                    Error(&SoakReport::writesOkNotHeld,
                          "a write of register " + std::to_string(reg) +
                              " was acknowledged, but the chip holds " +
                              std::to_string(chip.Peek(reg)) + ", not " +
                              std::to_string(expected_[*now].chip.Peek(reg)));
                    break;
                }
            }
        }
    } else if (status == StatusDeviceError && present && !RefusedOn(now)) {
        Error(&SoakReport::writesMisreported, "a write refused where no chip refused it");
    }
    // The board first asked may have run the write although its answer never came: after a
    // Retry the write went to the board then current, and a single attempt without an answer
    // tells nothing either way.
    const bool unknown = target && (once ? status == StatusReadFailed : target != now);
    if (unknown && SameRegisters(sim_.Board(*target).Chip(), applied(*target))) {
        expected_[*target].chip = applied(*target);
    }
}

void SoakRun::ReadDone(std::uint8_t address, std::uint8_t first,
                       std::span<const std::uint8_t> values, std::span<const std::uint8_t> before,
                       link::Status status) {
    const auto now = CurrentSimBoard();
    const bool present = address == kSoakChip;
    if (status != StatusOk) {
        if (!std::equal(values.begin(), values.end(), before.begin(), before.end())) {
            Error(&SoakReport::valuesFromFailures, "a failed read changed the values");
        }
        if (status == StatusDeviceError && present && !RefusedOn(now)) {
            Error(&SoakReport::wrongReads, "a read refused where no chip refused it");
        }
        return;
    }
    if (!present) {
        Error(&SoakReport::wrongReads, "an absent chip answered");
        return;
    }
    if (!now) {
        return;
    }
    const sim::ChipModel& chip = sim_.Board(*now).Chip();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto reg = static_cast<std::uint8_t>(first + i);
        if (values[i] != chip.Peek(reg)) {
            Error(&SoakReport::wrongReads,
                  "read of " + std::to_string(values.size()) + " from " + std::to_string(first) +
                      " gave " + std::to_string(values[i]) + " for register " +
                      std::to_string(reg) + ", which holds " + std::to_string(chip.Peek(reg)));
            return;
        }
    }
}

void SoakRun::LedSet(bool on) {
    // The setting is sent again after every Retry, so it is in force on the board now current.
    if (const auto now = CurrentSimBoard()) {
        expected_[*now].led = on;
    }
}

void SoakRun::DividerSet(std::uint8_t divider) {
    if (const auto now = CurrentSimBoard()) {
        expected_[*now].divider = divider;
    }
}

// ---------------------------------------------------------------- faults

const char* SoakFaultName(SoakFault fault) {
    static constexpr std::array<const char*, kSoakFaultKinds> kNames{
        "failed write",     "lost answer",     "late answer",     "long-late answer",
        "refusing chip",    "unplugged",       "second program",  "stray",
        "duplicate answer", "replayed answer", "stray + refusal", "stray + lost answer",
        "start-up strays"};
    return kNames.at(static_cast<std::size_t>(fault));
}

bool IsStrayKind(SoakFault fault) {
    switch (fault) {
        case SoakFault::Stray:
        case SoakFault::DuplicateAnswer:
        case SoakFault::ReplayedAnswer:
        case SoakFault::StrayAndRefusal:
        case SoakFault::StrayAndLostAnswer:
        case SoakFault::StartUpStrays:
            return true;
        default:
            return false;
    }
}

SoakFaults SoakFaults::StraysOnly() {
    SoakFaults faults;
    for (int k = 0; k < kSoakFaultKinds; ++k) {
        faults.enabled[static_cast<std::size_t>(k)] = IsStrayKind(static_cast<SoakFault>(k));
    }
    return faults;
}

SoakFaults SoakFaults::WithoutStrays() {
    SoakFaults faults;
    for (int k = 0; k < kSoakFaultKinds; ++k) {
        faults.enabled[static_cast<std::size_t>(k)] = !IsStrayKind(static_cast<SoakFault>(k));
    }
    return faults;
}

void SoakRun::SendStray(std::size_t b, bool withNextCommand, bool replay) {
    board::Report stray{};
    stray[kStrayMarkByte] = kStrayMark;
    if (replay && !answers_[b].empty()) {
        stray = answers_[b][static_cast<std::size_t>(
            Uniform(0, static_cast<int>(answers_[b].size()) - 1))];
    }
    const auto delay = [this] {
        return options_.realBoardPace ? microseconds(Uniform(0, 5000)) : microseconds(0);
    };
    ++report_.straysSent;
    if (!withNextCommand) {
        sim_.SendUnsolicitedAnswer(b, delay(), stray);
        return;
    }
    // Around the time the next command's answer comes.
    sim_.Board(b).onCommand = [this, b, stray, after = delay(),
                               sent = false](const board::Report&) mutable {
        if (!sent) {
            sent = true;
            sim_.SendUnsolicitedAnswer(b, after, stray);
        }
    };
}

void SoakRun::InjectFault(const SoakOperation& operation) {
    std::vector<SoakFault> kinds;
    for (int k = 0; k < kSoakFaultKinds; ++k) {
        const auto kind = static_cast<SoakFault>(k);
        if (options_.faults[kind] && (kind != SoakFault::StartUpStrays || restart_)) {
            kinds.push_back(kind);
        }
    }
    if (kinds.empty()) {
        return;
    }
    SoakFault kind =
        kinds[static_cast<std::size_t>(Uniform(0, static_cast<int>(kinds.size()) - 1))];
    // A chip that refuses by design (an absent one, or the window's address set elsewhere)
    // with its refusal lost: the stray stands in for an answer no soak could tell it from.
    if (kind == SoakFault::StrayAndLostAnswer &&
        (operation.refusedByDesign || Link().I2CAddress() != kSoakChip)) {
        kind = SoakFault::Stray;
    }
    // Mostly the board the operation will talk to; now and then another.
    const auto current = CurrentSimBoard();
    const std::size_t b = current && Uniform(0, 9) < 7
                              ? *current
                              : static_cast<std::size_t>(Uniform(0, options_.boards - 1));
    ++report_.faultsInjected;
    ++report_.byKind[static_cast<std::size_t>(kind)].injected;
    thisOperation_ = kind;
    if (IsStrayKind(kind)) {
        ++report_.operationsWithStrays;
        lastStray_ = clock_.Now();
        lastStrayKind_ = kind;
    }
    InjectOne(kind, b);
}

void SoakRun::StrayInPlaceOfNextAnswer(std::size_t b) {
    board::Report stray{};
    stray[kStrayMarkByte] = kStrayMark;
    ++report_.straysSent;
    lastStray_ = clock_.Now();
    lastStrayKind_ = SoakFault::StrayAndLostAnswer;
    sim::SimBoard& board = sim_.Board(b);
    board.dropAnswers = 1;
    board.onCommand = [this, b, stray, sent = false](const board::Report& command) mutable {
        if (!sent) {
            sent = true;
            sim_.SendUnsolicitedAnswer(b, sim_.Board(b).ModelTime(command), stray);
        }
    };
}

void SoakRun::InjectOne(SoakFault kind, std::size_t b) {
    sim::SimBoard& board = sim_.Board(b);
    switch (kind) {
        case SoakFault::FailedWrite:
            board.failWrites = Uniform(1, 2);
            break;
        case SoakFault::LostAnswer:
            board.dropAnswers = 1;
            break;
        case SoakFault::LateAnswer:
            board.lateAnswers = 1;
            board.lateBy = milliseconds(Uniform(1, 90));
            break;
        case SoakFault::LongLateAnswer:
            board.lateAnswers = 1;
            board.lateBy = milliseconds(Uniform(100, 450));
            break;
        case SoakFault::NoAcknowledge:
            refusing_ = b;
            board.Chip().SetAcknowledge(false);
            break;
        case SoakFault::Unplug:
            switch (Uniform(0, 2)) {
                case 0:
                    sim_.Unplug(b);
                    break;
                case 1:  // while the board works on the next command
                    board.onCommand = [this, b, pulled = false](const board::Report&) mutable {
                        if (!pulled) {
                            pulled = true;
                            sim_.Unplug(b);
                        }
                    };
                    break;
                default:  // and put straight back: the open handle stays dead
                    sim_.Unplug(b);
                    sim_.Plug(b);
                    break;
            }
            break;
        case SoakFault::SecondProgram:
            SecondProgram();
            break;
        case SoakFault::Stray:
            SendStray(b, Uniform(0, 1) == 1, false);
            break;
        case SoakFault::DuplicateAnswer:
            duplicateNext_[b] = true;
            break;
        case SoakFault::ReplayedAnswer:
            SendStray(b, Uniform(0, 1) == 1, true);
            break;
        case SoakFault::StrayAndRefusal:
            refusing_ = b;
            board.Chip().SetAcknowledge(false);
            SendStray(b, true, false);
            break;
        case SoakFault::StrayAndLostAnswer:
            board.dropAnswers = 1;
            SendStray(b, true, false);
            break;
        case SoakFault::StartUpStrays:
            StartAgain();
            break;
        case SoakFault::kCount:
            break;
    }
}

void SoakRun::StartAgain() {
    // The program ends and starts again: a new link, nothing timed, its boards' first
    // exchanges met by strays. The operation then runs on it.
    original_ = link_;
    original_->Hub().Remove(watch_.get());
    original_->CloseBoards();
    for (std::size_t b = 0; b < sim_.BoardCount(); ++b) {
        SendStray(b, false, Uniform(0, 1) == 1);
    }
    restarted_ = restart_();
    link_ = restarted_.get();
    link_->SetAnswerTimeoutMs(options_.timeoutMs);
    link_->Hub().Add(watch_.get());
    link_->FindBoards();
    link_->SetI2CAddress(kSoakChip);
}

void SoakRun::EndFaults() {
    if (restarted_) {
        // That program ends; the soak's own starts again.
        restarted_->Hub().Remove(watch_.get());
        restarted_->CloseBoards();
        restarted_.reset();
        link_ = original_;
        link_->Hub().Add(watch_.get());
        link_->FindBoards();
    }
    std::fill(duplicateNext_.begin(), duplicateNext_.end(), false);
    if (refusing_) {
        sim_.Board(*refusing_).Chip().SetAcknowledge(true);
        refusing_.reset();
    }
    for (std::size_t b = 0; b < sim_.BoardCount(); ++b) {
        sim::SimBoard& board = sim_.Board(b);
        board.onCommand = nullptr;
        board.failWrites = 0;
        board.dropAnswers = 0;
        board.lateAnswers = 0;
    }
}

void SoakRun::SecondProgram() {
    auto other = sim_.AnotherProgram("second");
    const board::Discovery found = board::DiscoverBoards(*other, clock_);
    for (const auto& opened : found.boards) {
        for (std::size_t i = 0; i < link_->BoardCount(); ++i) {
            if (link_->BoardPath(i) == opened.path) {
                Error(&SoakReport::handlesLeaked, "two programs on " + opened.path);
            }
        }
    }
}

// ---------------------------------------------------------------- checks

void SoakRun::Check() {
    for (std::size_t b = 0; b < expected_.size(); ++b) {
        const sim::SimBoard& board = sim_.Board(b);
        Expected& expected = expected_[b];
        for (std::uint8_t reg = 0; reg < kRegisters; ++reg) {
            if (board.Chip().Peek(reg) != expected.chip.Peek(reg)) {
                Error(&SoakReport::writesLost,
                      "board " + std::to_string(b) + " register " + std::to_string(reg) +
                          " holds " + std::to_string(board.Chip().Peek(reg)) + ", not " +
                          std::to_string(expected.chip.Peek(reg)));
                expected.chip = board.Chip();
                break;
            }
        }
        if (board.Led() != expected.led || board.Divider() != expected.divider) {
            Error(&SoakReport::settingsLost, "board " + std::to_string(b) + " LED or divider");
            expected.led = board.Led();
            expected.divider = board.Divider();
        }
    }
    if (sim_.OpenHandles() != static_cast<int>(link_->BoardCount())) {
        Error(&SoakReport::handlesLeaked, std::to_string(sim_.OpenHandles()) + " handles open");
    }
}

int SoakRun::AnswersDropped() {
    int dropped = 0;
    for (std::size_t b = 0; b < sim_.BoardCount(); ++b) {
        dropped += sim_.Board(b).answersDropped;
    }
    return dropped;
}

void SoakRun::CountStraysInPlaceOfLostAnswers(int okNotHeldBefore, int droppedBefore,
                                              int strayWritesBefore, bool afterStray) {
    const int dropped = AnswersDropped() - droppedBefore;
    if (dropped == 0 || !afterStray) {
        return;
    }
    report_.lostAnswersMetByStrays += dropped;
    // Only where the soak can show it: an answer lost, and a marked stray taken as a write
    // done. A write reported done from anything else stays an error no stray explains.
    const int shown = std::min({report_.writesOkNotHeld - okNotHeldBefore, dropped,
                                watch_->slippedWrites - strayWritesBefore});
    if (shown > 0) {
        report_.writesOkNotHeld -= shown;
        report_.writesOkFromStrays += shown;
        report_.byKind[static_cast<std::size_t>(*lastStrayKind_)].errorsAfter += shown;
    }
}

void SoakRun::RunOne(const SoakOperation& operation) {
    for (std::size_t b = 0; b < sim_.BoardCount(); ++b) {
        sim_.Board(b).ClearCommands();  // keeps memory flat over a long run
        sim_.Board(b).Chip().ClearWriteLog();
    }
    const int okNotHeldBefore = report_.writesOkNotHeld;
    const int droppedBefore = AnswersDropped();
    const int strayWritesBefore = watch_->slippedWrites;
    const int hardBefore = report_.HardErrors();
    const int wrongBefore = report_.WrongValues();
    const auto start = clock_.Now();
    deadline_ = start + options_.watchdog;
    waits_ = 0;
    running_ = operation.name;
    thisOperation_.reset();
    if (Uniform(1, 100) <= options_.faultPercent) {
        InjectFault(operation);
    }
    operation.run(*this);
    deadline_ = board::Clock::TimePoint::max();
    const auto took = std::chrono::duration_cast<microseconds>(clock_.Now() - start);
    report_.longestOperation = std::max(report_.longestOperation, took);
    EndFaults();
    Check();
    const bool afterStray = lastStrayKind_ && lastStray_ != board::Clock::TimePoint{} &&
                            lastStray_ >= start - kStrayAftermath;
    CountStraysInPlaceOfLostAnswers(okNotHeldBefore, droppedBefore, strayWritesBefore, afterStray);
    // Wrong values after a stray are counted against the budget, under the stray's kind;
    // any other error under the fault of this operation, if it had one.
    const int wrong = report_.WrongValues() - wrongBefore;
    const int hard = report_.HardErrors() - hardBefore;
    if (afterStray) {
        report_.errorsAfterStrays += wrong;
        report_.byKind[static_cast<std::size_t>(*lastStrayKind_)].errorsAfter += wrong;
    } else {
        report_.unexplained += wrong;
    }
    if (thisOperation_ && (hard > 0 || (!afterStray && wrong > 0))) {
        report_.byKind[static_cast<std::size_t>(*thisOperation_)].errorsAfter +=
            hard + (afterStray ? 0 : wrong);
    }
}

SoakReport SoakRun::Run(const std::vector<SoakOperation>& operations) {
    operations_ = &operations;
    totalWeight_ = 0;
    for (const SoakOperation& op : operations) {
        totalWeight_ += op.weight;
    }
    const auto start = clock_.Now();
    for (int op = 0; op < options_.operations; ++op) {
        try {
            RunOne(Pick(false));
        } catch (const Hang& hang) {
            deadline_ = board::Clock::TimePoint::max();
            Error(&SoakReport::hung, hang.what);
            break;
        }
        ++report_.operations;
    }
    report_.timeTaken = std::chrono::duration_cast<microseconds>(clock_.Now() - start);
    operations_ = nullptr;
    link_->Hub().Remove(watch_.get());
    link_->CloseBoards();
    if (sim_.OpenHandles() != 0 || sim_.TotalOpens() != sim_.TotalCloses()) {
        Error(&SoakReport::handlesLeaked,
              std::to_string(sim_.OpenHandles()) + " handles open after the boards were closed");
    }
    report_.outOfStepDetected = watch_->outOfStep;
    report_.setAside = watch_->setAside;
    report_.ambiguous = watch_->ambiguous;
    report_.straysSlipped = watch_->slipped;
    report_.straysSlippedOwed = watch_->slippedOwed;
    report_.earlyForOwed = watch_->earlyForOwed;
    return report_;
}

std::string SoakReport::Summary() const {
    std::ostringstream out;
    out << "seed " << seed << ": " << operations << " operations, " << faultsInjected << " faults, "
        << messages << " messages; " << Errors() << " errors: " << HardErrors()
        << " that no stray explains (" << writesOkNotHeld << " writes reported done not held, "
        << valuesFromFailures << " values from failed reads, " << handlesLeaked
        << " handles leaked, " << hung << " hung";
    if (windowWrong + endingsWrong + programEnds > 0) {
        out << ", " << endingsWrong << " of " << programEnds << " program ends wrong";
    }
    out << "), " << WrongValues() << " wrong values (" << writesLost << " chips unlike the writes, "
        << writesMisreported << " writes reported refused wrongly, " << wrongReads
        << " wrong reads, " << settingsLost << " settings lost";
    if (windowWrong + endingsWrong + programEnds > 0) {
        out << ", " << windowWrong << " shown wrong by the window";
    }
    out << "): " << errorsAfterStrays << " after strays (budget " << StrayBudget() << ": "
        << byKind[static_cast<std::size_t>(SoakFault::StrayAndLostAnswer)].injected
        << " strays with the answer lost and " << kStrayBudgetPercent << "% of " << straysSent
        << " strays sent), " << unexplained << " after none; strays in " << operationsWithStrays
        << " operations (" << (operations > 0 ? 100.0 * operationsWithStrays / operations : 0.0)
        << "%); " << outOfStepDetected << " answers out of step repeated, " << setAside
        << " reports set aside as too soon, " << earlyForOwed << " too soon for an owed answer, "
        << ambiguous << " results ambiguous, " << straysSlipped
        << " marked strays taken for an answer and " << straysSlippedOwed << " for an owed one; "
        << writesOkFromStrays
        << " writes reported done from a stray in place of a lost answer, the protocol's limit "
           "(budget "
        << lostAnswersMetByStrays << ": answers lost where a stray was sent)"
        << "; longest operation " << longestOperation.count() / 1000.0 << " ms, "
        << timeTaken.count() / 1e6 << " s in all";
    for (const std::string& error : firstErrors) {
        out << "\n  " << error;
    }
    return out.str();
}

std::string SoakReport::FiguresByKind() const {
    std::ostringstream out;
    for (int k = 0; k < kSoakFaultKinds; ++k) {
        const SoakKindFigures& f = byKind[static_cast<std::size_t>(k)];
        out << "kind: " << SoakFaultName(static_cast<SoakFault>(k)) << " | " << f.injected << " | "
            << f.errorsAfter << "\n";
    }
    return out.str();
}

void ExpectRunClean(const SoakOptions& options, const SoakReport& report, int leastFaults) {
    std::printf("%s\n", report.Summary().c_str());
    EXPECT_TRUE(report.Clean()) << report.Summary();
    EXPECT_EQ(report.operations, options.operations) << report.Summary();
    EXPECT_GT(report.faultsInjected, leastFaults) << report.Summary();
}

SoakReport RunSoak(const SoakOptions& options, const std::vector<SoakOperation>& operations) {
    sim::VirtualClock virtualClock;
    board::Clock& clock = options.virtualTime ? virtualClock : board::Clock::Real();
    sim::SimTransport sim(clock);
    SoakRun run(options, clock, sim);
    RetryHost host(run);
    board::ExchangeHub hub;
    link::BoardLink link(run.Transport(), host, hub, clock);
    run.SetRestart([&run, &host, &hub, &clock] {
        return std::make_unique<link::BoardLink>(run.Transport(), host, hub, clock);
    });
    run.Attach(link);
    return run.Run(operations);
}

}  // namespace vrq::test
