#include "chip_core.h"

#include <iostream>

namespace vrq::python {

namespace {
// The tag the session's exchanges carry for the counter tap: the core has one session.
constexpr int kTag = 0;
}  // namespace

BoardWorld::BoardWorld(const BoardsWanted& wanted) {
    sim::BoardChoice choice;
    choice.simulated = wanted.simulate;
    choice.faults = wanted.faults;
    choice.cables = wanted.cables;
    choice.trace = wanted.trace ? &std::cerr : nullptr;
    choice.zeroLatency = wanted.zeroLatency;
    program_ = std::make_unique<sim::ProgramBoards>(choice);
    boards_ = std::make_unique<cli::BoardSet>(program_->Transport(), board::Clock::Real());
}

std::shared_ptr<ChipCore> ChipCore::Open(std::unique_ptr<BoardWorld> world,
                                         const std::string& board,
                                         const cli::ExchangeOptions& options,
                                         OpenProblem& problem) {
    cli::BoardSet& boards = world->Boards();
    boards.SetTimeoutMs(options.timeoutMs);
    if (boards.Paths().empty()) {
        problem = {OpenProblem::Kind::NoneFound, cli::NoBoardText(), {}};
        return nullptr;
    }
    std::string error;
    const auto instance = sim::ChooseInstance(boards.Paths(), board, error);
    if (!instance) {
        problem = {OpenProblem::Kind::NoSuchBoard,
                   "board " + board + ": " + error + ": vrq66208a.list_boards() shows the boards",
                   {}};
        return nullptr;
    }
    board::UnopenedBoard failure;
    auto session = boards.Open(*instance, failure);
    if (!session) {
        problem = {OpenProblem::Kind::CannotOpen,
                   "board " + std::to_string(*instance) + " (" + failure.path +
                       ") cannot be opened: " + board::OpenFailureText(failure),
                   failure};
        return nullptr;
    }
    std::shared_ptr<ChipCore> core(new ChipCore());
    core->path_ = boards.Paths()[*instance];
    core->instance_ = *instance;
    core->options_ = options;
    core->session_ = std::move(session);
    core->world_ = std::move(world);
    return core;
}

ChipCore::~ChipCore() {
    Close();
}

void ChipCore::Close() {
    std::lock_guard lock(mutex_);
    if (session_) {
        // A set command's acknowledgement is taken, so the setting is in force when the
        // board is let go.
        session_->Drain();
        session_.reset();
    }
}

board::Outcome ChipCore::Read(std::uint8_t first, std::span<std::uint8_t> values) {
    return Retrying([&] { return session_->ReadRegisters(AddressByte(), first, values); });
}

board::Outcome ChipCore::Write(std::uint8_t first, std::span<const std::uint8_t> values) {
    return Retrying([&] { return session_->WriteRegisters(AddressByte(), first, values); });
}

void ChipCore::Listen(margin::CounterListener* listener) {
    if (listeners_++ == 0 && session_) {
        tap_.Watch(kTag, AddressByte());
        session_->SetObserver(&tap_, kTag);
    }
    tap_.AddListener(listener);
}

void ChipCore::StopListening(margin::CounterListener* listener) {
    tap_.RemoveListener(listener);
    if (--listeners_ == 0 && session_) {
        session_->SetObserver(nullptr);
    }
}

}  // namespace vrq::python
