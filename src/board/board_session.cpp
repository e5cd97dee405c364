#include "board/board_session.h"

#include <algorithm>
#include <optional>
#include <utility>

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
      timing_(timing ? std::move(timing) : std::make_shared<AnswerTiming>()) {
    timing_->NoteLeastRoundTrip(device_->LeastRoundTrip());
}

BoardSession::~BoardSession() = default;

// ---------------------------------------------------------------- keeping in step

void BoardSession::Owe(const Report& request, Clock::TimePoint sent) {
    owed_.push_back({request, busClock_, sent});
}

void BoardSession::TakeForOwed() {
    if (owed_.empty()) {
        return;
    }
    timing_->NoteOwedAnswerAfter(clock_.Now() - owed_.front().sent);
    owed_.pop_front();
    ++counters_.owedTaken;
}

void BoardSession::ForgetExpiredOwed() {
    const Clock::TimePoint now = clock_.Now();
    const Clock::Duration lifetime = timing_->OwedLifetime();
    while (!owed_.empty() && now - owed_.front().sent >= lifetime) {
        owed_.pop_front();
        ++counters_.owedGivenUp;
    }
}

void BoardSession::BoardLost() {
    gone_ = true;
    owed_.clear();
}

std::vector<OwedAnswer> BoardSession::TakeOwedAnswers() {
    std::vector<OwedAnswer> owed;
    if (!gone_) {
        owed.assign(owed_.begin(), owed_.end());
    }
    owed_.clear();
    return owed;
}

void BoardSession::CarryOwedAnswers(std::vector<OwedAnswer> owed) {
    owed_.insert(owed_.begin(), owed.begin(), owed.end());
}

void BoardSession::Observe(Exchange& exchange) {
    exchange.board = observerTag_;
    observer_->OnExchange(exchange);
}

int BoardSession::Drain(Clock::Duration wait) {
    const Clock::TimePoint start = clock_.Now();
    Report report{};
    int taken = 0;
    int owedTaken = counters_.owedTaken;
    int early = 0;  // set aside as strays
    // The one answer owed, taken alone: its round trip may teach the timing record (a set
    // command's acknowledgement is timed nowhere else).
    std::optional<std::pair<OwedAnswer, Clock::Duration>> alone;
    // While an answer is owed (the newest is awaited longest), each report is the oldest
    // one's, unless it came sooner than the board can answer that request.
    for (ForgetExpiredOwed(); !owed_.empty() && taken < kMaxDrainedReports; ForgetExpiredOwed()) {
        const Clock::TimePoint until = owed_.back().sent + timing_->OwedLifetime();
        const ReadOutcome read = device_->Read(report, CeilMs(until - clock_.Now()));
        if (read == ReadOutcome::Failure) {
            BoardLost();
        }
        if (read != ReadOutcome::Answer) {
            continue;  // the lifetime has passed: given up above
        }
        ++taken;
        const OwedAnswer& next = owed_.front();
        const Arrival arrival = timing_->Judge(next.request, next.clock, clock_.Now() - next.sent);
        if (arrival == Arrival::Impossible || arrival == Arrival::Early) {
            ++early;
            continue;
        }
        if (arrival == Arrival::Close) {
            // Close below the least time such an answer takes: a further report within the
            // time real answers lately take shows this one was a stray.
            if (ReportFollowsBy(next.sent + timing_->AwaitRealAnswer(next.request, next.clock),
                                report)) {
                ++taken;
                ++early;
            }
        } else if (taken == 1 && owed_.size() == 1) {
            alone.emplace(next, clock_.Now() - next.sent);
        }
        TakeForOwed();
    }
    // Whatever else is there. While an answer is still owed (a board that never stops
    // sending), each report is taken for it.
    const int waitMs = CeilMs(wait);
    ReadOutcome read = ReadOutcome::Timeout;
    while (taken < kMaxDrainedReports &&
           (read = device_->Read(report, waitMs)) == ReadOutcome::Answer) {
        ++taken;
        TakeForOwed();
    }
    if (read == ReadOutcome::Failure) {
        BoardLost();
    }
    if (alone && taken == 1) {
        timing_->Record(alone->first.request, alone->first.clock, alone->second);
    }
    owedTaken = counters_.owedTaken - owedTaken;
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

bool BoardSession::ReportFollowsBy(Clock::TimePoint until, Report& report) {
    // A wait shorter than the device's millisecond granularity is slept on the clock, then
    // only what has come is looked at: a short look must not cost a whole millisecond.
    const Clock::Duration left = until - clock_.Now();
    int waitMs = 0;
    if (left >= std::chrono::milliseconds(1)) {
        waitMs = CeilMs(left);
    } else if (left > Clock::Duration::zero()) {
        clock_.SleepUntil(until);
    }
    const ReadOutcome read = device_->Read(report, waitMs);
    if (read == ReadOutcome::Failure) {
        BoardLost();
    }
    return read == ReadOutcome::Answer;
}

Outcome BoardSession::TransactOnce(const Report& request, Report& answer, int attempt,
                                   bool& outOfStep) {
    outOfStep = false;
    // Only an answer with nothing around it may teach the timing record.
    const bool quietBefore = Drain() == 0 && owed_.empty();
    const int owedAtSend = static_cast<int>(owed_.size());
    const Clock::TimePoint start = clock_.Now();
    const Clock::TimePoint deadline = start + std::chrono::milliseconds(timeoutMs_);
    ++counters_.exchanges;
    Outcome outcome = Outcome::Ok;
    bool answered = false;
    int setAside = 0;
    Clock::Duration roundTrip{};
    Arrival arrival = Arrival::OnTime;
    if (!device_->Write(request)) {
        outcome = Outcome::NotWritten;
    } else {
        for (;;) {
            const ReadOutcome read = device_->Read(answer, CeilMs(deadline - clock_.Now()));
            if (read == ReadOutcome::Failure) {
                BoardLost();
                outcome = Outcome::BoardGone;
                break;
            }
            if (read == ReadOutcome::Timeout) {
                Owe(request, start);  // a late board may still answer it
                outcome = Outcome::NoAnswer;
                break;
            }
            roundTrip = clock_.Now() - start;
            arrival = timing_->Judge(request, busClock_, roundTrip);
            if (arrival != Arrival::Impossible) {
                answered = true;
                break;
            }
            // Sooner than the board can answer anything: not this request's answer, which
            // is still to come. Perhaps one that was owed.
            ++setAside;
            TakeForOwed();
        }
    }
    if (answered) {
        const bool transferFailed =
            request[off::kCommand] == CommandI2C && answer[off::kStatus] != 0;
        const bool writeDone = request[off::kCommand] == CommandI2C &&
                               (request[off::kAddress] & 1U) == 0 && !transferFailed;
        // A report sooner than any answer of its kind, or one taken while answers are owed,
        // gets the time a real answer has lately taken, and half again, for a further report
        // to show itself. One close below the floor, up to when a real one would come
        // (CloseLook); a write reported done, up to when its kind's answers have lately come.
        // Any other, only what is already waiting.
        Clock::TimePoint until = clock_.Now();
        if (arrival == Arrival::Early || !owed_.empty()) {
            until = start + timing_->AwaitRealAnswer(request, busClock_);
        } else if (arrival == Arrival::Close) {
            until = start + timing_->CloseLook(request, busClock_);
        }
        if (writeDone) {
            // A twentieth more: the bus clock believed may be a step off the board's, and a
            // refusal must not go unseen.
            const Clock::Duration latest = timing_->LatestLately(request, busClock_);
            until = std::max(until, start + latest + latest / 20);
            ++counters_.writeChecks;
        }
        Report extra{};
        outOfStep = ReportFollowsBy(until, extra);
        if (outOfStep) {
            // Drained and repeated by the caller.
        } else if (arrival == Arrival::Early || !owed_.empty()) {
            // Nothing came after it: either this report was the answer (the board answered
            // faster than ever, or what was owed will never come) or the answer is still to
            // come. No value can be vouched for; the answer stays owed.
            outcome = Outcome::Ambiguous;
            ++counters_.unvouched;
            if (arrival == Arrival::Early) {
                Owe(request, start);
                if (timing_->NoteEarlyAlone(request, busClock_) &&
                    request[off::kCommand] == CommandI2C) {
                    busClock_.divider = 0;  // the bus time it was held to may be wrong too
                }
            }
        } else {
            timing_->NoteAnswerTaken(request, busClock_);
            if (quietBefore && setAside == 0) {
                timing_->Record(request, busClock_, roundTrip);
            }
            outcome = transferFailed ? Outcome::NoAcknowledge : Outcome::Ok;
        }
    }
    counters_.setAside += setAside;
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
        e.owed = owedAtSend;
        e.early = setAside;
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
            if (outcome == Outcome::Ambiguous) {
                ++counters_.ambiguous;
            }
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
