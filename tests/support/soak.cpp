#include "support/soak.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "board/board_host.h"
#include "board/board_link.h"
#include "board/discovery.h"
#include "sim/sim_transport.h"

namespace vrq::test {
namespace {

using board::Status;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kChip = 0x88;
constexpr int kTimeoutMs = 40;

// Registers whose value is simply what was last written (within their bits): 0x03..0x08 form
// one run for the multi-register writes.
struct Tracked {
    std::uint8_t reg;
    std::uint8_t bits;
};
constexpr std::array<Tracked, 12> kTracked{{{0x03, 0xFF},
                                            {0x04, 0xFF},
                                            {0x05, 0x0F},
                                            {0x06, 0xFF},
                                            {0x07, 0xFF},
                                            {0x08, 0xFF},
                                            {0x10, 0xFF},
                                            {0x11, 0xFF},
                                            {0x12, 0xFF},
                                            {0x13, 0xFF},
                                            {0x14, 0xFF},
                                            {0x15, 0xFF}}};
constexpr std::uint8_t kRunFirst = 0x03;
constexpr std::uint8_t kRunLast = 0x08;

std::uint8_t Bits(std::uint8_t reg) {
    for (const Tracked& t : kTracked) {
        if (t.reg == reg) {
            return t.bits;
        }
    }
    return 0xFF;
}

// Answers every message Retry, and plugs every board back in first, as a user who fixes the
// cable before pressing it. Boards found are asked for their clock, as the window does.
class RetryHost : public board::BoardHost {
  public:
    explicit RetryHost(sim::SimTransport& sim) : sim_(sim) {}
    board::BoardLink* link = nullptr;
    board::MessageAnswer ShowMessage(const std::string& /*text*/, board::MessageButtons /*buttons*/,
                                     const std::string& /*title*/) override {
        ++messages;
        for (std::size_t i = 0; i < sim_.BoardCount(); ++i) {
            sim_.Plug(i);
        }
        return board::AnswerRetry;
    }
    void BoardsFound() override {
        if (link != nullptr) {
            link->ReadBusClock();
        }
    }
    void EndProgram() override {
        ADD_FAILURE() << "the soak never cancels";
        std::_Exit(3);
    }
    void HandlePendingEvents() override {}
    int messages = 0;

  private:
    sim::SimTransport& sim_;
};

// Counts the exchanges found out of step, and keeps the last two for error reports.
class ExchangeWatch : public board::ExchangeObserver {
  public:
    void OnExchange(const board::Exchange& exchange) override {
        outOfStep += exchange.outOfStep ? 1 : 0;
        if (exchange.kind == board::Exchange::Kind::Request) {
            previous = last;
            last = exchange;
        }
    }
    static std::string Describe(const board::Exchange& e) {
        std::ostringstream out;
        out << "command " << int{e.request[board::off::kCommand]} << "/"
            << int{e.request[board::off::kSubCommand]} << " " << board::OutcomeText(e.outcome)
            << " after "
            << std::chrono::duration_cast<std::chrono::microseconds>(e.roundTrip).count()
            << " us (attempt " << e.attempt << ")";
        return out.str();
    }
    int outOfStep = 0;
    board::Exchange last;
    board::Exchange previous;
};

struct Expected {
    std::array<std::uint8_t, 0x16> regs{};
    bool led = false;
    std::uint8_t divider = 120;
};

class Soak {
  public:
    explicit Soak(const SoakOptions& options) : options_(options), rng_(options.seed) {
        sim_.SetZeroLatency(!options.realBoardPace);
        for (int i = 0; i < options.boards; ++i) {
            sim_.AddBoard();
        }
        expected_.resize(static_cast<std::size_t>(options.boards));
        for (std::size_t b = 0; b < expected_.size(); ++b) {
            for (const Tracked& t : kTracked) {
                expected_[b].regs[t.reg] = sim_.Board(b).Chip().Peek(t.reg);
            }
        }
        link_.SetAnswerTimeoutMs(kTimeoutMs);
        link_.AddObserver(&watch_);
        host_.link = &link_;
        link_.FindBoards();
        link_.I2CAddress = kChip;
    }

    SoakReport Run() {
        for (int op = 0; op < options_.operations; ++op) {
            const auto start = Clock::now();
            RunOne();
            report_.longestOperation = std::max(
                report_.longestOperation,
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
            Check();
            ++report_.operations;
        }
        link_.CloseBoards();
        report_.handlesLeaked += sim_.OpenHandles();
        report_.outOfStepDetected = watch_.outOfStep;
        return report_;
    }

  private:
    void Error(int& counter, const std::string& what) {
        ++counter;
        if (report_.firstErrors.size() < 10) {
            report_.firstErrors.push_back("operation " + std::to_string(report_.operations) + ": " +
                                          what + "; last " + ExchangeWatch::Describe(watch_.last) +
                                          ", before it " +
                                          ExchangeWatch::Describe(watch_.previous));
        }
    }
    int Uniform(int low, int high) {  // inclusive; the raw engine keeps runs repeatable
        return low + static_cast<int>(rng_() % static_cast<std::uint32_t>(high - low + 1));
    }
    std::size_t BoardOf(std::size_t instance) const {
        const std::string path = link_.BoardPath(instance);
        return static_cast<std::size_t>(std::stoul(path.substr(path.find("board") + 5)));
    }
    std::optional<std::size_t> CurrentSimBoard() const {
        const auto instance = link_.CurrentBoard();
        return instance ? std::optional(BoardOf(*instance)) : std::nullopt;
    }

    void InjectFault(std::size_t b) {
        sim::SimBoard& board = sim_.Board(b);
        const SoakFaults& f = options_.faults;
        std::vector<int> kinds;
        for (int k = 0; k < 7; ++k) {
            const bool on = std::array{f.failedWrites,  f.lostAnswers, f.lateAnswers,
                                       f.noAcknowledge, f.unplug,      f.secondProgram,
                                       f.unsolicited}[static_cast<std::size_t>(k)];
            if (on) {
                kinds.push_back(k);
            }
        }
        if (kinds.empty()) {
            return;
        }
        ++report_.faultsInjected;
        switch (kinds[static_cast<std::size_t>(Uniform(0, static_cast<int>(kinds.size()) - 1))]) {
            case 0:
                board.failWrites = 1;
                break;
            case 1:
                board.dropAnswers = 1;
                break;
            case 2:
                board.lateAnswers = 1;
                board.lateBy = std::chrono::milliseconds(Uniform(1, 90));
                break;
            case 3:
                nak_ = b;
                board.Chip().SetAcknowledge(false);
                break;
            case 4:
                sim_.Unplug(b);
                break;
            case 5:
                SecondProgram();
                break;
            default:
                sim_.SendUnsolicitedAnswer(b, options_.realBoardPace
                                                  ? std::chrono::microseconds(Uniform(0, 5000))
                                                  : std::chrono::microseconds(0));
                break;
        }
    }

    void SecondProgram() {
        auto other = sim_.AnotherProgram("second");
        const board::Discovery found = board::DiscoverBoards(*other);
        for (const auto& opened : found.boards) {
            for (std::size_t i = 0; i < link_.BoardCount(); ++i) {
                if (link_.BoardPath(i) == opened.path) {
                    Error(report_.handlesLeaked, "two programs on " + opened.path);
                }
            }
        }
    }

    void RunOne() {
        nak_.reset();
        const auto target = CurrentSimBoard();
        if (target && Uniform(1, 100) <= options_.faultPercent) {
            InjectFault(*target);
        }
        switch (Uniform(0, 11)) {
            case 0:
            case 1:
            case 2:
                WriteOp(target);
                break;
            case 3:
            case 4:
                ReadOp();
                break;
            case 5:
                SetLedOp(target);
                break;
            case 6:
                SetDividerOp(target);
                break;
            case 7:
                QueryOp();
                break;
            case 8:
                link_.DrainInput();
                break;
            case 9:
                link_.SelectBoard(static_cast<std::size_t>(Uniform(0, options_.boards - 1)));
                break;
            case 10:
                if (Uniform(0, 9) == 0) {
                    link_.FindBoards();
                }
                break;
            default:
                ReadOp();
                break;
        }
        if (nak_) {
            sim_.Board(*nak_).Chip().SetAcknowledge(true);
        }
    }

    void WriteOp(std::optional<std::size_t> target) {
        std::uint8_t first = 0;
        std::size_t count = 1;
        if (Uniform(0, 2) == 0) {
            first = static_cast<std::uint8_t>(Uniform(kRunFirst, kRunLast - 1));
            count = static_cast<std::size_t>(Uniform(2, std::min(4, kRunLast - first + 1)));
        } else {
            first = kTracked[static_cast<std::size_t>(Uniform(0, kTracked.size() - 1))].reg;
        }
        std::vector<std::uint8_t> values(count);
        for (auto& v : values) {
            v = static_cast<std::uint8_t>(Uniform(0, 255));
        }
        // The board first asked may have run the command even though its answer was lost;
        // Retry then repeats it on the board the new discovery made current.
        std::vector<std::uint8_t> before(count);
        if (target) {
            for (std::size_t i = 0; i < count; ++i) {
                before[i] = expected_[*target].regs[first + i];
            }
        }
        const Status status = link_.WriteRegisters(kChip, first, count, values, false);
        const auto now = CurrentSimBoard();
        if (target && now != target) {
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t reg = static_cast<std::uint8_t>(first + i);
                const std::uint8_t held = sim_.Board(*target).Chip().Peek(reg);
                if (held == before[i] || held == (values[i] & Bits(reg))) {
                    expected_[*target].regs[reg] = held;
                }
            }
        }
        if (!now) {
            return;
        }
        if (status == board::StatusOk) {
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t reg = static_cast<std::uint8_t>(first + i);
                expected_[*now].regs[reg] = values[i] & Bits(reg);
            }
        } else if (nak_ != now) {
            Error(report_.writesMisreported, "write refused without a refusal");
        }
    }

    void ReadOp() {
        const bool burst = Uniform(0, 1) == 0;
        const std::uint8_t first =
            burst ? 0x00 : kTracked[static_cast<std::size_t>(Uniform(0, kTracked.size() - 1))].reg;
        const std::size_t count = burst ? 13 : 1;
        std::vector<std::uint8_t> values(count, 0xEE);
        const Status status = link_.ReadRegisters(kChip, first, count, values, false);
        const auto now = CurrentSimBoard();
        if (status != board::StatusOk || !now) {
            if (nak_ != now) {
                Error(report_.wrongReads, "read refused without a refusal");
            }
            return;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t held =
                sim_.Board(*now).Chip().Peek(static_cast<std::uint8_t>(first + i));
            if (values[i] != held) {
                Error(report_.wrongReads,
                      "read " + std::to_string(count) + " from " + std::to_string(first) +
                          " gave " + std::to_string(values[i]) + " for " + std::to_string(held));
                return;
            }
        }
    }

    void SetLedOp(std::optional<std::size_t> target) {
        const bool on = Uniform(0, 1) == 1;
        link_.SetLed(on ? 1 : 0);
        if (const auto now = CurrentSimBoard()) {
            expected_[*now].led = on;
        }
        (void)target;
    }

    void SetDividerOp(std::optional<std::size_t> target) {
        const auto divider = static_cast<std::uint8_t>(Uniform(60, 255));
        link_.SetBusClockDivider(divider);
        if (const auto now = CurrentSimBoard()) {
            expected_[*now].divider = divider;
        }
        (void)target;
    }

    void QueryOp() {
        switch (Uniform(0, 2)) {
            case 0:
                if (const auto led = link_.ReadLed();
                    led && CurrentSimBoard() &&
                    (*led == 1) != sim_.Board(*CurrentSimBoard()).Led()) {
                    Error(report_.wrongReads, "LED state");
                }
                break;
            case 1:
                if (const auto clock = link_.ReadBusClock();
                    clock && CurrentSimBoard() &&
                    clock->divider != sim_.Board(*CurrentSimBoard()).Divider()) {
                    Error(report_.wrongReads, "divider " + std::to_string(clock->divider));
                }
                break;
            default:
                if (const auto fw = link_.ReadFirmwareVersion();
                    fw && (fw->version != 0x12 || fw->year != 2008)) {
                    Error(report_.wrongReads, "firmware version");
                }
                break;
        }
    }

    void Check() {
        for (std::size_t b = 0; b < expected_.size(); ++b) {
            const sim::SimBoard& board = sim_.Board(b);
            for (const Tracked& t : kTracked) {
                if (board.Chip().Peek(t.reg) != expected_[b].regs[t.reg]) {
                    Error(report_.writesLost,
                          "board " + std::to_string(b) + " register " + std::to_string(t.reg) +
                              " holds " + std::to_string(board.Chip().Peek(t.reg)) + ", not " +
                              std::to_string(expected_[b].regs[t.reg]));
                    expected_[b].regs[t.reg] = board.Chip().Peek(t.reg);
                }
            }
            if (board.Led() != expected_[b].led || board.Divider() != expected_[b].divider) {
                Error(report_.settingsLost, "board " + std::to_string(b) + " LED or divider");
                expected_[b].led = board.Led();
                expected_[b].divider = board.Divider();
            }
        }
        if (sim_.OpenHandles() != static_cast<int>(link_.BoardCount())) {
            Error(report_.handlesLeaked, std::to_string(sim_.OpenHandles()) + " handles open");
        }
    }

    SoakOptions options_;
    std::mt19937 rng_;
    sim::SimTransport sim_;
    RetryHost host_{sim_};
    board::BoardLink link_{sim_, host_};
    ExchangeWatch watch_;
    std::vector<Expected> expected_;
    std::optional<std::size_t> nak_;
    SoakReport report_;
};

}  // namespace

std::string SoakReport::Summary() const {
    std::ostringstream out;
    out << operations << " operations, " << faultsInjected << " faults: " << writesLost
        << " writes lost, " << writesMisreported << " writes reported wrongly, " << wrongReads
        << " wrong reads, " << settingsLost << " settings lost, " << handlesLeaked
        << " handles leaked, " << outOfStepDetected << " out-of-step answers detected, longest "
        << "operation " << longestOperation.count() / 1000.0 << " ms";
    for (const std::string& error : firstErrors) {
        out << "\n  " << error;
    }
    return out.str();
}

SoakReport RunSoak(const SoakOptions& options) {
    Soak soak(options);
    return soak.Run();
}

}  // namespace vrq::test
