#include "board/board_link.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

namespace vrq::board {
namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kCheckUsb = "Please check USB connection.";
constexpr const char* kInvalidAddress =
    "Invalid I2C address. Press Retry to return to GUI and enter valid address or Cancel to "
    "close GUI.";

// A pause longer than a day is a caller's mistake; cap it so the clock arithmetic holds.
constexpr float kLongestPauseSeconds = 86400.0F;

}  // namespace

BoardLink::BoardLink(HidTransport& transport, BoardHost& host)
    : transport_(transport), host_(host) {}

BoardLink::~BoardLink() = default;

MessageAnswer BoardLink::Ask(const std::string& text) {
    return host_.ShowMessage(text, MessageButtons::RetryCancel, kProgramTitle);
}

// ---------------------------------------------------------------- discovery and connection

void BoardLink::FindBoards() {
    if (!boards_.empty()) {
        CloseBoards();
    }
    for (;;) {
        // hidapi lists a device once per usage page under the same path: open each once.
        std::set<std::string> opened;
        for (const HidDeviceInfo& info : transport_.Enumerate()) {
            if (info.vendorId != kBoardVendorId || info.productId != kBoardProductId) {
                continue;
            }
            if (!opened.insert(info.path).second) {
                continue;
            }
            if (auto device = transport_.Open(info.path)) {
                boards_.push_back(std::move(device));
                paths_.push_back(info.path);
            }
        }
        if (!boards_.empty()) {
            break;
        }
        MessageResult = Ask(std::string(kCheckUsb) + kLineBreak + kProgramTitle +
                            " Evaluation Board not found.");
        if (MessageResult != AnswerRetry) {
            EndProgram();
        }
    }
    current_ = 0;
    host_.BoardsFound();
}

void BoardLink::CloseBoards() {
    pendingAcks_ = 0;  // whatever was queued goes with the handles
    boards_.clear();
    paths_.clear();
    current_.reset();
}

std::string BoardLink::BoardPath(std::size_t instance) const {
    return instance < paths_.size() ? paths_[instance] : std::string();
}

bool BoardLink::SelectBoard(std::size_t instance) {
    if (instance >= boards_.size()) {
        return false;
    }
    current_ = instance;
    return true;
}

void BoardLink::EndProgram() {
    CloseBoards();
    host_.EndProgram();
    // A host must not return from EndProgram; if one does, the program still ends here.
    std::_Exit(EXIT_SUCCESS);
}

// ---------------------------------------------------------------- report transfer

void BoardLink::FillReport(std::uint8_t value) {
    report_.fill(value);
}

bool BoardLink::SendReport() {
    if (!current_) {
        return false;
    }
    return boards_[*current_]->Write(report_);
}

Status BoardLink::ReceiveAnswer() {
    FillReport(0);
    if (!current_) {
        return StatusReadFailed;
    }
    if (boards_[*current_]->Read(report_, answerTimeoutMs_) != ReadOutcome::Answer) {
        return StatusReadFailed;
    }
    return report_[off::kStatus] != 0 ? StatusDeviceError : StatusOk;
}

bool BoardLink::ReceiveBoardAnswer() {
    FillReport(0);
    if (current_ && boards_[*current_]->Read(report_, answerTimeoutMs_) == ReadOutcome::Answer) {
        return true;
    }
    checkGPstatus(0);
    return false;
}

void BoardLink::DrainInput() {
    int drained = 0;
    // First the acknowledgements of recent set commands, waited for until they are due.
    while (pendingAcks_ > 0 && current_ && *current_ == ackBoard_ && drained < kMaxDrainedReports) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            ackDueBy_ - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        const ReadOutcome outcome =
            boards_[*current_]->Read(report_, static_cast<int>(left.count()));
        if (outcome != ReadOutcome::Answer) {
            break;  // a board that does not acknowledge them, or one that is gone
        }
        --pendingAcks_;
        ++drained;
    }
    pendingAcks_ = 0;
    for (; drained < kMaxDrainedReports; ++drained) {
        if (!current_ || boards_[*current_]->Read(report_, kDrainWaitMs) != ReadOutcome::Answer) {
            return;
        }
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
    using Clock = std::chrono::steady_clock;
    const auto end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<float>(std::min(seconds, kLongestPauseSeconds)));
    // Events are handled every 4 ms; the last sleep ends at the deadline rather than past it.
    do {
        const Clock::duration left = end - Clock::now();
        std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(4), left));
        host_.HandlePendingEvents();
    } while (Clock::now() < end);
}

// ---------------------------------------------------------------- command protocol

bool BoardLink::ValidCount(std::size_t count, std::size_t max, std::size_t span) {
    return count >= 1 && count <= max && count <= span;
}

Status BoardLink::ReadRegistersOnce(std::uint8_t address, std::uint8_t first, std::size_t count,
                                    std::span<std::uint8_t> values) {
    if (!ValidCount(count, kMaxReadCount, values.size())) {
        return StatusDeviceError;
    }
    FillReport(0);
    report_[off::kReportId] = 0;
    report_[off::kCommand] = CommandI2C;
    report_[off::kCount] = static_cast<std::uint8_t>(count);
    report_[off::kAddress] = static_cast<std::uint8_t>(address + 1);
    report_[off::kFirstRegister] = first;
    if (!SendReport()) {
        return StatusWriteFailed;
    }
    const Status status = ReceiveAnswer();
    if (status != StatusOk) {
        return status;
    }
    std::copy_n(report_.begin() + off::kReadData, count, values.begin());
    return StatusOk;
}

Status BoardLink::ReadRegisters(std::uint8_t address, std::uint8_t first, std::size_t count,
                                std::span<std::uint8_t> values, bool quiet) {
    if (!ValidCount(count, kMaxReadCount, values.size())) {
        return StatusDeviceError;
    }
    for (bool repeat = false;; repeat = true) {
        // The rediscovery behind a Retry talks to the boards (the window reads the LED and
        // sends the clock divider back); their acknowledgements must not pass for this answer.
        if (repeat) {
            DrainInput();
        }
        const Status status = ReadRegistersOnce(address, first, count, values);
        HandleTransferStatus(status, quiet);
        if (status != StatusReadFailed && status != StatusWriteFailed) {
            return status;
        }
    }
}

Status BoardLink::WriteRegistersOnce(std::uint8_t address, std::uint8_t first, std::size_t count,
                                     std::span<const std::uint8_t> values) {
    if (!ValidCount(count, kMaxWriteCount, values.size())) {
        return StatusDeviceError;
    }
    FillReport(0);
    report_[off::kReportId] = 0;
    report_[off::kCommand] = CommandI2C;
    report_[off::kCount] = static_cast<std::uint8_t>(count);
    report_[off::kAddress] = address;
    report_[off::kFirstRegister] = first;
    std::copy_n(values.begin(), count, report_.begin() + off::kWriteData);
    if (!SendReport()) {
        return StatusWriteFailed;
    }
    return ReceiveAnswer();
}

Status BoardLink::WriteRegisters(std::uint8_t address, std::uint8_t first, std::size_t count,
                                 std::span<const std::uint8_t> values, bool quiet) {
    if (!ValidCount(count, kMaxWriteCount, values.size())) {
        return StatusDeviceError;
    }
    for (bool repeat = false;; repeat = true) {
        // The rediscovery behind a Retry talks to the boards (the window reads the LED and
        // sends the clock divider back); their acknowledgements must not pass for this answer.
        if (repeat) {
            DrainInput();
        }
        const Status status = WriteRegistersOnce(address, first, count, values);
        HandleTransferStatus(status, quiet);
        if (status != StatusReadFailed && status != StatusWriteFailed) {
            return status;
        }
    }
}

bool BoardLink::QueryBoard(Command command) {
    DrainInput();
    FillReport(0);
    report_[off::kCommand] = command;
    report_[off::kSubCommand] = kSubQuery;
    return checkGPstatus(SendReport() ? 1 : 0) == 8 && ReceiveBoardAnswer();
}

void BoardLink::SendBoardSetting(Command command, std::uint8_t value) {
    FillReport(0);
    report_[off::kCommand] = command;
    report_[off::kSubCommand] = kSubSet;
    report_[off::kSetValue] = value;
    const bool sent = SendReport();
    if (sent) {
        if (pendingAcks_ == 0 || ackBoard_ != *current_) {
            pendingAcks_ = 0;
            ackBoard_ = *current_;
        }
        ++pendingAcks_;
        ackDueBy_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSetAckWindowMs);
    }
    checkGPstatus(sent ? 1 : 0);
}

std::optional<FirmwareVersion> BoardLink::ReadFirmwareVersion() {
    if (!QueryBoard(CommandBoardInfo)) {
        return std::nullopt;
    }
    FirmwareVersion fw;
    fw.version = report_[off::kFirmwareVersion];
    fw.year = report_[off::kYearHigh] * 256 + report_[off::kYearLow];
    fw.month = report_[off::kMonth];
    fw.day = report_[off::kDay];
    return fw;
}

void BoardLink::SetLed(int state) {
    SendBoardSetting(CommandGpio, static_cast<std::uint8_t>(state));
}

std::optional<int> BoardLink::ReadLed() {
    if (!QueryBoard(CommandGpio)) {
        return std::nullopt;
    }
    return (report_[off::kGpioStatus] & kLedBit) != 0 ? 1 : 0;
}

void BoardLink::SetBusClockDivider(std::uint8_t divider) {
    SendBoardSetting(CommandBusClock, divider);
}

std::optional<BusClock> BoardLink::ReadBusClock() {
    if (!QueryBoard(CommandBusClock)) {
        return std::nullopt;
    }
    return BusClock{report_[off::kBaseClock], report_[off::kDivider]};
}

}  // namespace vrq::board
