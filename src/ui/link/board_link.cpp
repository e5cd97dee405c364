#include "ui/link/board_link.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>

namespace vrq::link {
namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kCheckUsb = "Please check USB connection.";
constexpr const char* kInvalidAddress =
    "Invalid I2C address. Press Retry to return to GUI and enter valid address or Cancel to "
    "close GUI.";

// A pause longer than a day is a caller's mistake; cap it so the clock arithmetic holds.
constexpr float kLongestPauseSeconds = 86400.0F;
constexpr auto kEventPassInterval = std::chrono::milliseconds(4);

// What the session would refuse; the retrying operations turn it away before any message.
bool SendableRun(std::uint8_t first, std::size_t count, std::size_t spanSize, std::size_t max) {
    return count >= 1 && count <= max && count <= spanSize && first + count - 1 <= 0xFF;
}

}  // namespace

Status StatusOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
            return StatusOk;
        case Outcome::NoAcknowledge:
        case Outcome::Refused:
            return StatusDeviceError;
        case Outcome::NotWritten:
            return StatusWriteFailed;
        case Outcome::NoAnswer:
        case Outcome::BoardGone:
        case Outcome::Ambiguous:
            break;
    }
    return StatusReadFailed;
}

BoardLink::BoardLink(board::HidTransport& transport, LinkHost& host, board::ExchangeHub& hub,
                     Clock& clock)
    : transport_(transport),
      host_(host),
      hub_(hub),
      clock_(clock),
      timing_(std::make_shared<board::AnswerTiming>()) {}

BoardLink::~BoardLink() {
    // The hub's observers forget the boards; the chip's followers are gone or going.
    const std::size_t closed = boards_.size();
    boards_.clear();
    for (std::size_t i = 0; i < closed; ++i) {
        hub_.OnBoardClosed(static_cast<int>(i));
    }
}

MessageAnswer BoardLink::Ask(const std::string& text) {
    return host_.ShowMessage(text, MessageButtons::RetryCancel, kProgramTitle);
}

// ---------------------------------------------------------------- discovery and connection

void BoardLink::FindBoards() {
    if (!boards_.empty()) {
        CloseBoards();
    }
    for (;;) {
        board::Discovery found = board::DiscoverBoards(transport_, clock_, timing_);
        boards_ = std::move(found.boards);
        if (!boards_.empty()) {
            break;
        }
        std::string text =
            std::string(kCheckUsb) + kLineBreak + kProgramTitle + " Evaluation Board not found.";
        if (const std::string why = board::UnopenedSummary(found.unopened); !why.empty()) {
            text += kLineBreak + why;
        }
        if (Ask(text) != AnswerRetry) {
            EndProgram();
        }
    }
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        BoardSession& session = *boards_[i].session;
        session.SetTimeoutMs(answerTimeoutMs_);
        hub_.Attach(session, static_cast<int>(i));
    }
    presence_.assign(boards_.size(), Presence::Present);
    current_ = 0;
    ChipMayHaveChanged();
    boardsChanged_.Notify();
    host_.BoardsFound();
}

void BoardLink::CloseBoards() {
    const std::size_t closed = boards_.size();
    boards_.clear();  // closes every handle; whatever they still held goes with them
    presence_.clear();
    current_.reset();
    for (std::size_t i = 0; i < closed; ++i) {
        hub_.OnBoardClosed(static_cast<int>(i));
    }
    ChipMayHaveChanged();
    boardsChanged_.Notify();
}

std::string BoardLink::BoardPath(std::size_t instance) const {
    return instance < boards_.size() ? boards_[instance].path : std::string();
}

bool BoardLink::SelectBoard(std::size_t instance) {
    if (instance >= boards_.size()) {
        return false;
    }
    if (presence_[instance] == Presence::Back) {
        // The old handle goes first: it still holds the board's lock. Should the new one not
        // open, the instance has no session, and its operations ask Retry.
        boards_[instance].session.reset();
        hub_.OnBoardClosed(static_cast<int>(instance));
        board::UnopenedBoard failure;
        boards_[instance].session =
            Open(boards_[instance].path, static_cast<int>(instance), failure);
        presence_[instance] = boards_[instance].session ? Presence::Present : Presence::Gone;
        told_ = {};  // the same instance, but a chip that may have started afresh
        boardsChanged_.Notify();
    }
    current_ = instance;
    ChipMayHaveChanged();
    return true;
}

Presence BoardLink::BoardPresence(std::size_t instance) const {
    return instance < presence_.size() ? presence_[instance] : Presence::Gone;
}

std::optional<std::size_t> BoardLink::InstanceOf(const std::string& path) const {
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        if (boards_[i].path == path) {
            return i;
        }
    }
    return std::nullopt;
}

std::unique_ptr<BoardSession> BoardLink::Open(const std::string& path, int board,
                                              board::UnopenedBoard& failure) {
    board::OpenResult opened = transport_.Open(path);
    if (!opened.device) {
        failure = {path, opened.failure, std::move(opened.holder)};
        return nullptr;
    }
    auto session = std::make_unique<BoardSession>(std::move(opened.device), clock_, timing_);
    session->SetTimeoutMs(answerTimeoutMs_);
    hub_.Attach(*session, board);
    return session;
}

Arrival BoardLink::BoardArrived(const std::string& path) {
    if (const auto known = InstanceOf(path)) {
        if (presence_[*known] == Presence::Present) {
            return {Arrival::Kind::Known, *known, {}};
        }
        presence_[*known] = Presence::Back;
        boardsChanged_.Notify();
        return {Arrival::Kind::Back, *known, {}};
    }
    Arrival arrival;
    auto session = Open(path, static_cast<int>(boards_.size()), arrival.failure);
    if (!session) {
        arrival.kind = Arrival::Kind::NotOpened;
        return arrival;
    }
    boards_.push_back({path, std::move(session)});
    presence_.push_back(Presence::Present);
    boardsChanged_.Notify();
    return {Arrival::Kind::Listed, boards_.size() - 1, {}};
}

std::optional<std::size_t> BoardLink::BoardLeft(const std::string& path) {
    const auto known = InstanceOf(path);
    if (known && presence_[*known] != Presence::Gone) {
        presence_[*known] = Presence::Gone;
        boardsChanged_.Notify();
    }
    return known;
}

void BoardLink::SetI2CAddress(std::uint8_t addressByte) {
    address_ = addressByte;
    ChipMayHaveChanged();
}

ChipRef BoardLink::CurrentChip() const {
    return {current_ ? static_cast<int>(*current_) : -1, address_};
}

void BoardLink::ChipMayHaveChanged() {
    const ChipRef now = CurrentChip();
    if (now != told_) {
        told_ = now;
        chipChanged_.Notify(now);
    }
}

BoardSession* BoardLink::CurrentSession() {
    return current_ ? boards_[*current_].session.get() : nullptr;
}

void BoardLink::EndProgram() {
    CloseBoards();
    host_.EndProgram();
    // A host must not return from EndProgram; if one does, the program still ends here.
    std::_Exit(EXIT_SUCCESS);
}

void BoardLink::SetAnswerTimeoutMs(int ms) {
    answerTimeoutMs_ = ms;
    for (auto& board : boards_) {
        if (board.session) {
            board.session->SetTimeoutMs(ms);
        }
    }
}

// ---------------------------------------------------------------- transfer policy

void BoardLink::DrainInput() {
    if (BoardSession* session = CurrentSession()) {
        session->Drain(std::chrono::milliseconds(kDrainWaitMs));
    }
}

void BoardLink::HandleTransferStatus(Status status, bool quiet) {
    switch (status) {
        case StatusDeviceError:
            if (quiet) {
                return;
            }
            if (Ask(kInvalidAddress) != AnswerRetry) {
                EndProgram();
            }
            return;
        case StatusReadFailed:
        case StatusWriteFailed:
            if (Ask(std::string(kCheckUsb) + kLineBreak + "USB " +
                    (status == StatusReadFailed ? "ReadFile" : "WriteFile") + " error.") ==
                AnswerRetry) {
                FindBoards();
            } else {
                EndProgram();
            }
            return;
        case StatusOk:
            return;
    }
}

void BoardLink::checkGPstatus() {
    if (Ask(std::string(kCheckUsb) + kLineBreak + "checkGPstatus") == AnswerRetry) {
        FindBoards();
    } else {
        EndProgram();
    }
}

void BoardLink::DelaySeconds(float seconds) {
    // The negated test also turns NaN away.
    if (!(seconds > 0.0F)) {
        return;
    }
    const Clock::TimePoint end =
        clock_.Now() + std::chrono::duration_cast<Clock::Duration>(
                           std::chrono::duration<float>(std::min(seconds, kLongestPauseSeconds)));
    // Events are handled every 4 ms; the last sleep ends at the deadline rather than past it.
    do {
        const Clock::Duration left = end - clock_.Now();
        clock_.SleepFor(std::min<Clock::Duration>(kEventPassInterval, left));
        host_.HandlePendingEvents();
    } while (clock_.Now() < end);
}

// ---------------------------------------------------------------- register operations

template <typename Operation>
Status BoardLink::OnCurrent(Operation&& operation) {
    BoardSession* session = CurrentSession();
    return session != nullptr ? StatusOf(operation(*session)) : StatusWriteFailed;
}

template <typename Attempt>
Status BoardLink::Repeating(Attempt&& attempt, bool quiet) {
    // Retry finds the boards again and sends the same request to the board now current.
    for (;;) {
        const Status status = attempt();
        HandleTransferStatus(status, quiet);
        if (status != StatusReadFailed && status != StatusWriteFailed) {
            return status;
        }
    }
}

Status BoardLink::ReadRegistersOnce(std::uint8_t address, std::uint8_t first, std::size_t count,
                                    std::span<std::uint8_t> values) {
    if (count > values.size()) {
        return StatusDeviceError;
    }
    return OnCurrent([&](BoardSession& session) {
        return session.ReadRegisters(address, first, values.first(count));
    });
}

Status BoardLink::ReadRegisters(std::uint8_t address, std::uint8_t first, std::size_t count,
                                std::span<std::uint8_t> values, bool quiet) {
    if (!SendableRun(first, count, values.size(), board::kMaxReadCount)) {
        return StatusDeviceError;
    }
    return Repeating([&] { return ReadRegistersOnce(address, first, count, values); }, quiet);
}

Status BoardLink::WriteRegistersOnce(std::uint8_t address, std::uint8_t first, std::size_t count,
                                     std::span<const std::uint8_t> values) {
    if (count > values.size()) {
        return StatusDeviceError;
    }
    return OnCurrent([&](BoardSession& session) {
        return session.WriteRegisters(address, first, values.first(count));
    });
}

Status BoardLink::WriteRegisters(std::uint8_t address, std::uint8_t first, std::size_t count,
                                 std::span<const std::uint8_t> values, bool quiet) {
    if (!SendableRun(first, count, values.size(), board::kMaxWriteCount)) {
        return StatusDeviceError;
    }
    return Repeating([&] { return WriteRegistersOnce(address, first, count, values); }, quiet);
}

// ---------------------------------------------------------------- board commands

template <typename T>
std::optional<T> BoardLink::QueryBoard(board::Result<T> (BoardSession::*query)()) {
    BoardSession* session = CurrentSession();
    if (session == nullptr) {
        checkGPstatus();
        return std::nullopt;
    }
    const board::Result<T> result = (session->*query)();
    if (!result.Ok()) {
        // Not sent, or no answer: the message, and the caller changes nothing.
        checkGPstatus();
        return std::nullopt;
    }
    return result.value;
}

template <typename Arg>
void BoardLink::SendSetting(Outcome (BoardSession::*set)(Arg), Arg value) {
    for (;;) {
        BoardSession* session = CurrentSession();
        if (session != nullptr && (session->*set)(value) == Outcome::Ok) {
            return;
        }
        // Retry finds the boards again; the setting then goes to the board now current, so
        // that what the window shows is what the board does.
        checkGPstatus();
    }
}

std::optional<FirmwareVersion> BoardLink::ReadFirmwareVersion() {
    return QueryBoard(&BoardSession::ReadFirmwareVersion);
}

std::optional<FirmwareVersion> BoardLink::QueryFirmwareQuietly() {
    BoardSession* session = CurrentSession();
    if (session == nullptr || presence_[*current_] != Presence::Present) {
        return std::nullopt;
    }
    const board::Result<FirmwareVersion> result = session->ReadFirmwareVersion();
    return result.Ok() ? std::optional(result.value) : std::nullopt;
}

void BoardLink::SetLed(int state) {
    SendSetting(&BoardSession::SetLed, state != 0);
}

std::optional<int> BoardLink::ReadLed() {
    const auto on = QueryBoard(&BoardSession::ReadLed);
    if (!on) {
        return std::nullopt;
    }
    return *on ? 1 : 0;
}

void BoardLink::SetBusClockDivider(std::uint8_t divider) {
    SendSetting(&BoardSession::SetBusClockDivider, divider);
}

std::optional<BusClock> BoardLink::ReadBusClock() {
    return QueryBoard(&BoardSession::ReadBusClock);
}

}  // namespace vrq::link
