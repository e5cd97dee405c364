#include "board/board_link.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>

namespace vrq::board {
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

BoardLink::BoardLink(HidTransport& transport, BoardHost& host, Clock& clock)
    : transport_(transport),
      host_(host),
      clock_(clock),
      timing_(std::make_shared<AnswerTiming>()) {}

BoardLink::~BoardLink() {
    // An observer that outlives the link (a window closed later) must not reach back into it.
    std::vector<ExchangeObserver*> left;
    left.swap(fanout_.observers);
    AttachObservers();
    for (ExchangeObserver* observer : left) {
        observer->OnLinkGone();
    }
}

MessageAnswer BoardLink::Ask(const std::string& text) {
    return host_.ShowMessage(text, MessageButtons::RetryCancel, kProgramTitle);
}

// ---------------------------------------------------------------- discovery and connection

void BoardLink::FindBoards() {
    // A board opened again may still send what it owed before: its new session owes it.
    CarriedAnswers carried;
    for (OpenedBoard& board : boards_) {
        carried[board.path] = board.session->TakeOwedAnswers();
    }
    if (!boards_.empty()) {
        CloseBoards();
    }
    for (;;) {
        Discovery found = DiscoverBoards(transport_, clock_, timing_, &carried);
        boards_ = std::move(found.boards);
        if (!boards_.empty()) {
            break;
        }
        std::string text =
            std::string(kCheckUsb) + kLineBreak + kProgramTitle + " Evaluation Board not found.";
        if (const std::string why = UnopenedSummary(found.unopened); !why.empty()) {
            text += kLineBreak + why;
        }
        MessageResult = Ask(text);
        if (MessageResult != AnswerRetry) {
            EndProgram();
        }
    }
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        BoardSession& session = *boards_[i].session;
        session.SetTimeoutMs(answerTimeoutMs_);
    }
    AttachObservers();
    current_ = 0;
    host_.BoardsFound();
}

void BoardLink::CloseBoards() {
    boards_.clear();  // closes every handle; whatever they still held goes with them
    current_.reset();
}

std::string BoardLink::BoardPath(std::size_t instance) const {
    return instance < boards_.size() ? boards_[instance].path : std::string();
}

bool BoardLink::SelectBoard(std::size_t instance) {
    if (instance >= boards_.size()) {
        return false;
    }
    current_ = instance;
    return true;
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
        board.session->SetTimeoutMs(ms);
    }
}

void BoardLink::Fanout::OnExchange(const Exchange& exchange) {
    // An observer may remove itself (a window that closes): walk a copy, kept on the stack
    // for the few observers there are, so an exchange costs no allocation.
    constexpr std::size_t kOnStack = 8;
    if (observers.size() <= kOnStack) {
        std::array<ExchangeObserver*, kOnStack> now{};
        std::copy(observers.begin(), observers.end(), now.begin());
        for (std::size_t i = 0, n = observers.size(); i < n; ++i) {
            now[i]->OnExchange(exchange);
        }
        return;
    }
    const std::vector<ExchangeObserver*> now = observers;
    for (ExchangeObserver* observer : now) {
        observer->OnExchange(exchange);
    }
}

void BoardLink::AttachObservers() {
    ExchangeObserver* observer = fanout_.observers.empty() ? nullptr : &fanout_;
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        boards_[i].session->SetObserver(observer, static_cast<int>(i));
    }
}

void BoardLink::AddObserver(ExchangeObserver* observer) {
    if (std::find(fanout_.observers.begin(), fanout_.observers.end(), observer) ==
        fanout_.observers.end()) {
        fanout_.observers.push_back(observer);
    }
    AttachObservers();
}

void BoardLink::RemoveObserver(ExchangeObserver* observer) {
    std::erase(fanout_.observers, observer);
    AttachObservers();
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
            MessageResult = Ask(kInvalidAddress);
            if (MessageResult != AnswerRetry) {
                EndProgram();
            }
            return;
        case StatusReadFailed:
        case StatusWriteFailed:
            MessageResult =
                Ask(std::string(kCheckUsb) + kLineBreak + "USB " +
                    (status == StatusReadFailed ? "ReadFile" : "WriteFile") + " error.");
            if (MessageResult == AnswerRetry) {
                FindBoards();
            } else {
                EndProgram();
            }
            return;
        case StatusOk:
            return;
    }
}

std::int16_t BoardLink::checkGPstatus(std::int32_t writeResult) {
    if (writeResult != 0) {
        return 8;
    }
    MessageResult = Ask(std::string(kCheckUsb) + kLineBreak + "checkGPstatus");
    if (MessageResult == AnswerRetry) {
        FindBoards();
    } else {
        EndProgram();
    }
    return 0;
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
    if (!SendableRun(first, count, values.size(), kMaxReadCount)) {
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
    if (!SendableRun(first, count, values.size(), kMaxWriteCount)) {
        return StatusDeviceError;
    }
    return Repeating([&] { return WriteRegistersOnce(address, first, count, values); }, quiet);
}

// ---------------------------------------------------------------- board commands

template <typename T>
std::optional<T> BoardLink::QueryBoard(Result<T> (BoardSession::*query)()) {
    BoardSession* session = CurrentSession();
    if (session == nullptr) {
        checkGPstatus(0);
        return std::nullopt;
    }
    const Result<T> result = (session->*query)();
    if (!result.Ok()) {
        // Not sent, or no answer: the message, and the caller changes nothing.
        checkGPstatus(0);
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
        checkGPstatus(0);
    }
}

std::optional<FirmwareVersion> BoardLink::ReadFirmwareVersion() {
    return QueryBoard(&BoardSession::ReadFirmwareVersion);
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

}  // namespace vrq::board
