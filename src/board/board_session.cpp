#include "board/board_session.h"

#include <algorithm>

namespace vrq::board {
namespace {

// Whole milliseconds for a device wait, rounded up so that a wait never ends early.
int CeilMs(Clock::Duration span) {
    if (span <= Clock::Duration::zero()) {
        return 0;
    }
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(span).count());
}

bool ValidRun(std::uint8_t first, std::size_t count, std::size_t max) {
    return count >= 1 && count <= max && first + count - 1 <= 0xFF;
}

Report CommandReport(Command command, std::uint8_t sub) {
    Report report{};
    report[off::kReportId] = 0;
    report[off::kCommand] = command;
    report[off::kSubCommand] = sub;
    return report;
}

Report I2CRequest(std::uint8_t addressByte, std::uint8_t first, std::size_t count) {
    Report report = CommandReport(CommandI2C, static_cast<std::uint8_t>(count));
    report[off::kAddress] = addressByte;
    report[off::kFirstRegister] = first;
    return report;
}

}  // namespace

std::string_view OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
            return "OK";
        case Outcome::NoAcknowledge:
            return "no acknowledge";
        case Outcome::NoAnswer:
            return "no answer";
        case Outcome::NotWritten:
            return "report not written";
        case Outcome::BoardGone:
            return "board gone";
        case Outcome::Ambiguous:
            return "answer ambiguous";
        case Outcome::Refused:
            return "request refused";
    }
    return "unknown outcome";
}

BoardSession::BoardSession(std::unique_ptr<HidDevice> device, Clock& clock,
                           std::shared_ptr<AnswerTiming> timing)
    : device_(std::move(device)),
      clock_(clock),
      timing_(timing ? std::move(timing) : std::make_shared<AnswerTiming>()) {}

BoardSession::~BoardSession() = default;

// ---------------------------------------------------------------- keeping in step

void BoardSession::Owe(const Report& request, Clock::TimePoint sent) {
    owed_.push_back({request, busClock_, sent});
    owedDueBy_ = clock_.Now() + std::chrono::milliseconds(kOwedAnswerBoundMs);
}

void BoardSession::Observe(Exchange& exchange) {
    exchange.board = observerTag_;
    observer_->OnExchange(exchange);
}

int BoardSession::Drain(Clock::Duration wait) {
    const Clock::TimePoint start = clock_.Now();
    Report report{};
    int taken = 0;
    int owedTaken = 0;
    int early = 0;     // set aside as strays
    int earlyNow = 0;  // of those, the ones before the owed answer awaited now
    while (!owed_.empty() && taken < kMaxDrainedReports) {
        const OwedAnswer& next = owed_.front();
        Clock::TimePoint until = owedDueBy_;
        if (earlyNow > 0) {
            // The real answer gets the time its kind usually takes, and half again, not the
            // whole bound: the board may for once have answered faster than ever before.
            until = std::min(until, next.sent + timing_->AwaitRealAnswer(next.request, next.clock) +
                                        std::chrono::milliseconds(1));
        }
        const int left = CeilMs(until - clock_.Now());
        if (left > 0 && device_->Read(report, left) == ReadOutcome::Answer) {
            ++taken;
            if (timing_->SoonerThanAnyAnswer(next.request, next.clock, clock_.Now() - next.sent)) {
                ++earlyNow;
                continue;
            }
        } else if (earlyNow == 0) {
            break;  // a board that sends none, or one that is gone
        } else {
            --earlyNow;  // nothing came after it: the early report was the answer after all
        }
        early += earlyNow;
        earlyNow = 0;
        ++owedTaken;
        owed_.pop_front();
    }
    early += earlyNow;
    counters_.owedGivenUp += static_cast<int>(owed_.size());
    owed_.clear();
    const int waitMs = CeilMs(wait);
    while (taken < kMaxDrainedReports && device_->Read(report, waitMs) == ReadOutcome::Answer) {
        ++taken;
    }
    counters_.owedTaken += owedTaken;
    counters_.staleTaken += taken - owedTaken;
    counters_.earlyForOwed += early;
    if (taken > 0 && observer_ != nullptr) {
        Exchange e;
        e.kind = Exchange::Kind::Drain;
        e.start = start;
        e.roundTrip = clock_.Now() - start;
        e.reports = taken;
        e.owed = owedTaken;
        e.early = early;
        e.answer = report;
        e.hasAnswer = true;
        Observe(e);
    }
    return taken;
}

bool BoardSession::AnotherReportFollows(const Report& request, Clock::Duration roundTrip) {
    Report extra{};
    if (device_->Read(extra, 0) == ReadOutcome::Answer) {
        return true;
    }
    if (!timing_->IsEarly(request, busClock_, roundTrip)) {
        return false;
    }
    // Too soon to be this request's answer: give the real one the time it usually takes,
    // and half again, to show itself.
    const Clock::Duration wait =
        timing_->AwaitRealAnswer(request, busClock_) - roundTrip + std::chrono::milliseconds(1);
    return device_->Read(extra, CeilMs(wait)) == ReadOutcome::Answer;
}

Outcome BoardSession::TransactOnce(const Report& request, Report& answer, int attempt,
                                   bool& outOfStep) {
    outOfStep = false;
    Drain();
    const Clock::TimePoint start = clock_.Now();
    ++counters_.exchanges;
    Outcome outcome = Outcome::Ok;
    bool answered = false;
    if (!device_->Write(request)) {
        outcome = Outcome::NotWritten;
    } else {
        switch (device_->Read(answer, timeoutMs_)) {
            case ReadOutcome::Answer: {
                answered = true;
                const Clock::Duration roundTrip = clock_.Now() - start;
                outOfStep = AnotherReportFollows(request, roundTrip);
                if (!outOfStep) {
                    timing_->Record(request, busClock_, roundTrip);
                }
                const bool transferFailed =
                    request[off::kCommand] == CommandI2C && answer[off::kStatus] != 0;
                outcome = transferFailed ? Outcome::NoAcknowledge : Outcome::Ok;
                break;
            }
            case ReadOutcome::Timeout:
                Owe(request, start);  // a late board may still answer it
                outcome = Outcome::NoAnswer;
                break;
            case ReadOutcome::Failure:
                outcome = Outcome::BoardGone;
                break;
        }
    }
    if (observer_ != nullptr) {
        Exchange e;
        e.start = start;
        e.roundTrip = clock_.Now() - start;
        e.request = request;
        e.answer = answer;
        e.hasAnswer = answered;
        e.outcome = outcome;
        e.attempt = attempt;
        e.outOfStep = outOfStep;
        e.timeoutMs = timeoutMs_;
        Observe(e);
    }
    return outcome;
}

Outcome BoardSession::Transact(const Report& request, Report* answer) {
    if (answer == nullptr) {
        Drain();
        const Clock::TimePoint start = clock_.Now();
        ++counters_.exchanges;
        const bool written = device_->Write(request);
        if (written) {
            Owe(request, start);  // its acknowledgement
        }
        const Outcome outcome = written ? Outcome::Ok : Outcome::NotWritten;
        if (observer_ != nullptr) {
            Exchange e;
            e.start = start;
            e.roundTrip = clock_.Now() - start;
            e.request = request;
            e.expectsAnswer = false;
            e.outcome = outcome;
            Observe(e);
        }
        return outcome;
    }
    for (int attempt = 1; attempt <= 2; ++attempt) {
        bool outOfStep = false;
        const Outcome outcome = TransactOnce(request, *answer, attempt, outOfStep);
        if (!outOfStep) {
            return outcome;
        }
        ++counters_.outOfStep;
        if (attempt == 1) {
            ++counters_.repeats;
        }
    }
    ++counters_.ambiguous;
    return Outcome::Ambiguous;
}

// ---------------------------------------------------------------- register transfers

Outcome BoardSession::ReadRegisters(std::uint8_t addressByte, std::uint8_t first,
                                    std::span<std::uint8_t> values) {
    if (!ValidRun(first, values.size(), kMaxReadCount)) {
        return Outcome::Refused;
    }
    const Report request =
        I2CRequest(static_cast<std::uint8_t>(addressByte + 1), first, values.size());
    Report answer{};
    const Outcome outcome = Transact(request, &answer);
    if (outcome == Outcome::Ok) {
        std::copy_n(answer.begin() + off::kReadData, values.size(), values.begin());
    }
    return outcome;
}

Outcome BoardSession::WriteRegisters(std::uint8_t addressByte, std::uint8_t first,
                                     std::span<const std::uint8_t> values) {
    if (!ValidRun(first, values.size(), kMaxWriteCount)) {
        return Outcome::Refused;
    }
    Report request = I2CRequest(addressByte, first, values.size());
    std::copy(values.begin(), values.end(), request.begin() + off::kWriteData);
    Report answer{};
    return Transact(request, &answer);
}

// ---------------------------------------------------------------- board commands

Outcome BoardSession::SendSetting(Command command, std::uint8_t value) {
    Report request = CommandReport(command, kSubSet);
    request[off::kSetValue] = value;
    return Transact(request, nullptr);
}

Outcome BoardSession::Query(Command command, Report& answer) {
    return Transact(CommandReport(command, kSubQuery), &answer);
}

Outcome BoardSession::SetLed(bool on) {
    return SendSetting(CommandGpio, on ? 1 : 0);
}

Result<bool> BoardSession::ReadLed() {
    Report answer{};
    const Outcome outcome = Query(CommandGpio, answer);
    return {outcome, outcome == Outcome::Ok && (answer[off::kGpioStatus] & kLedBit) != 0};
}

Outcome BoardSession::SetBusClockDivider(std::uint8_t divider) {
    const Outcome outcome = SendSetting(CommandBusClock, divider);
    // A setting that failed may or may not have arrived: the clock is then not known.
    busClock_.divider = outcome == Outcome::Ok ? divider : 0;
    if (busClock_.baseMHz == 0) {
        busClock_.baseMHz = timing_->BaseClock();
    }
    return outcome;
}

Result<BusClock> BoardSession::ReadBusClock() {
    Report answer{};
    const Outcome outcome = Query(CommandBusClock, answer);
    if (outcome != Outcome::Ok) {
        return {outcome, {}};
    }
    busClock_ = {answer[off::kBaseClock], answer[off::kDivider]};
    timing_->NoteBaseClock(busClock_.baseMHz);
    return {outcome, BusClock{answer[off::kBaseClock], answer[off::kDivider]}};
}

Result<FirmwareVersion> BoardSession::ReadFirmwareVersion() {
    Report answer{};
    const Outcome outcome = Query(CommandBoardInfo, answer);
    if (outcome != Outcome::Ok) {
        return {outcome, {}};
    }
    FirmwareVersion fw;
    fw.version = answer[off::kFirmwareVersion];
    fw.year = answer[off::kYearHigh] * 256 + answer[off::kYearLow];
    fw.month = answer[off::kMonth];
    fw.day = answer[off::kDay];
    return {outcome, fw};
}

}  // namespace vrq::board
