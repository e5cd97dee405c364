// The Python module's hold on one chip: the board it was opened on (a real one through hidapi,
// with the board lock, or one of a simulated set the core owns), the board session, the chip's
// address and the exchange options, as the command-line tool's Context has them. Plain C++:
// the binding (module.cpp) turns its outcomes into exceptions and releases the interpreter
// around its waits.
//
// Python threads may share a chip: every call takes the core's mutex, which is recursive so
// that a progress callback running between two steps of a sweep may read the chip too.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/board_session.h"
#include "board/discovery.h"
#include "cli/boards.h"
#include "cli/context.h"
#include "margin/counter_tap.h"
#include "margin/register_access.h"
#include "sim/program_boards.h"

namespace vrq::python {

// Which boards a call works on: the attached ones, or a simulated set (as --simulate,
// --simulate-fault and --simulate-cable give it), and whether every report is traced.
struct BoardsWanted {
    int simulate = 0;
    std::vector<sim::Fault> faults;
    sim::CableSet cables = sim::DefaultCables();
    bool trace = false;
    bool zeroLatency = false;  // simulated boards answer at once (the benchmark)
};

// The boards of one call (open, list_boards, detect) and the set that numbers them.
class BoardWorld {
  public:
    explicit BoardWorld(const BoardsWanted& wanted);
    cli::BoardSet& Boards() { return *boards_; }

  private:
    std::unique_ptr<sim::ProgramBoards> program_;
    std::unique_ptr<cli::BoardSet> boards_;
};

// Why a board could not be had: what the binding raises as BoardError.
struct OpenProblem {
    enum class Kind : std::uint8_t { NoneFound, NoSuchBoard, CannotOpen };
    Kind kind = Kind::NoneFound;
    std::string message;
    board::UnopenedBoard unopened;  // CannotOpen
};

class ChipCore {
  public:
    // Opens board (an instance number or a path) of world, which the core keeps. Null with
    // problem filled when there is no such board or it cannot be opened.
    static std::shared_ptr<ChipCore> Open(std::unique_ptr<BoardWorld> world,
                                          const std::string& board,
                                          const cli::ExchangeOptions& options,
                                          OpenProblem& problem);

    ~ChipCore();
    ChipCore(const ChipCore&) = delete;
    ChipCore& operator=(const ChipCore&) = delete;

    std::recursive_mutex& Mutex() { return mutex_; }

    // Null once closed.
    board::BoardSession* Session() { return session_.get(); }
    void Close();
    const cli::ExchangeOptions& Options() const { return options_; }
    std::uint8_t AddressByte() const { return static_cast<std::uint8_t>(options_.address7 << 1); }
    const std::string& Path() const { return path_; }
    std::size_t Instance() const { return instance_; }
    board::Clock& Clock() { return board::Clock::Real(); }

    // Register transfers with the chip, repeated as the retries option says.
    board::Outcome Read(std::uint8_t first, std::span<std::uint8_t> values);
    board::Outcome Write(std::uint8_t first, std::span<const std::uint8_t> values);

    // Any exchange of the session, repeated while it fails on the USB side, as the
    // command-line tool repeats it.
    template <typename Exchange>
    auto Retrying(Exchange&& exchange) {
        auto result = exchange();
        for (int i = 0; i < options_.retries && cli::Context::WorthRepeating(OutcomeOf(result));
             ++i) {
            result = exchange();
        }
        return result;
    }

    // The counter tap sees every exchange while at least one listener (a sweep, a monitor, a
    // verification) is on it, so that reads made meanwhile by anyone count.
    void Listen(margin::CounterListener* listener);
    void StopListening(margin::CounterListener* listener);

  private:
    ChipCore() = default;
    static board::Outcome OutcomeOf(board::Outcome outcome) { return outcome; }
    template <typename T>
    static board::Outcome OutcomeOf(const board::Result<T>& result) {
        return result.outcome;
    }

    std::recursive_mutex mutex_;
    std::unique_ptr<BoardWorld> world_;  // outlives the session, whose transport it holds
    std::unique_ptr<board::BoardSession> session_;
    cli::ExchangeOptions options_;
    std::string path_;
    std::size_t instance_ = 0;
    margin::CounterTap tap_;
    int listeners_ = 0;
};

// A listener on a core's tap for the lifetime of this object.
class Listening {
  public:
    Listening(ChipCore& core, margin::CounterListener* listener)
        : core_(core), listener_(listener) {
        core_.Listen(listener_);
    }
    ~Listening() { core_.StopListening(listener_); }
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

  private:
    ChipCore& core_;
    margin::CounterListener* listener_;
};

// The core's registers for the margin engine: transfers with retries, the last outcome kept.
class CoreRegisters : public margin::RegisterAccess {
  public:
    explicit CoreRegisters(ChipCore& core) : core_(core) {}
    bool Read(std::uint8_t first, std::span<std::uint8_t> values) override {
        last_ = core_.Read(first, values);
        return last_ == board::Outcome::Ok;
    }
    bool Write(std::uint8_t first, std::span<const std::uint8_t> values) override {
        last_ = core_.Write(first, values);
        return last_ == board::Outcome::Ok;
    }
    board::Outcome LastOutcome() const { return last_; }

  private:
    ChipCore& core_;
    board::Outcome last_ = board::Outcome::Ok;
};

}  // namespace vrq::python
