// One opened evaluation board and the board's command protocol over it, with typed results.
// A session asks no questions, shows nothing, runs no events and never ends the program:
// its callers (the window's Retry/Cancel policy, the command-line tool's exit codes, the
// Python module's exceptions) decide what a failure means.
//
// Keeping requests and answers in step: the board's answers carry no request number, so the
// session counts the answers it is owed (a set command's acknowledgement, the answer to a
// request that timed out or that a doubtful report stood in for) and takes them before the
// next request goes out, waiting for each as long as the board could still send it
// (AnswerTiming::OwedLifetime), across a reconnection of the same board too. A request that
// goes out while an answer is owed all the same (a board that never stops sending) cannot
// tell its answer from the owed one: its result is Ambiguous, never a value nobody can vouch
// for.
//
// Each report's arrival is judged against the least time the board takes for that kind of
// request (AnswerTiming): one sooner than the device can answer at all is set aside and the
// real answer awaited; one sooner than any answer of its kind, or close below that, is taken
// only when no further report follows within the time real answers have lately taken, and an
// early one standing alone is Ambiguous. A write acknowledged as done is held to the same
// look for a further report up to when its kind's answers have lately come, so that a stray
// cannot pass for the acknowledgement of a write the chip refused. A further report means the
// link was out of step: the session drains and repeats the exchange once; out of step again,
// the result is Ambiguous. Every request is preceded by the drain, whoever asks for it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board/answer_timing.h"
#include "board/clock.h"
#include "board/hid_transport.h"
#include "board/report.h"

namespace vrq::board {

enum class Outcome : std::uint8_t {
    Ok,             // answered; for register transfers the chip acknowledged
    NoAcknowledge,  // the board answered that the I2C transfer failed (answer byte 1 not 0)
    NoAnswer,       // no answer within the time-out
    NotWritten,     // the command report could not be written
    BoardGone,      // reading from the board failed: unplugged, or the device broke
    Ambiguous,      // no answer the session can vouch for: out of step after a drain and a
                    // repeat, an early report with no answer after it, or answers still owed
    Refused,        // not a valid request (count, values, run past register 0xFF): never sent
};

// "OK", "no acknowledge", "no answer", "report not written", "board gone", "answer
// ambiguous", "request refused".
std::string_view OutcomeText(Outcome outcome);

template <typename T>
struct Result {
    Outcome outcome = Outcome::Ok;
    T value{};
    bool Ok() const { return outcome == Outcome::Ok; }
};

struct FirmwareVersion {
    std::uint8_t version = 0;  // high nibble major, low nibble minor
    int year = 0;
    int month = 0;
    int day = 0;
};

struct BusClock {
    std::uint8_t baseMHz = 0;
    std::uint8_t divider = 0;
};

// What one exchange with the board did, for a trace of the bus.
struct Exchange {
    enum class Kind : std::uint8_t {
        Request,  // a command report and, where it has one, its answer
        Drain,    // reports taken before a request: owed answers and stale ones
    };
    Kind kind = Kind::Request;
    int board = -1;  // the tag the session was given (the board instance)
    Clock::TimePoint start{};
    Clock::Duration roundTrip{};
    Report request{};  // Request only
    Report answer{};   // valid when hasAnswer
    bool hasAnswer = false;
    bool expectsAnswer = true;  // false for the LED and divider set commands
    Outcome outcome = Outcome::Ok;
    int timeoutMs = 0;       // Request: the answer time-out in force
    int reports = 0;         // Drain: how many reports were taken
    int owed = 0;            // Drain: how many of them were answers owed (the rest were stale);
                             // Request: answers still owed when it went out
    int early = 0;           // reports that came too soon to be the answer awaited
    int attempt = 1;         // 2 for the repeat after an out-of-step answer
    bool outOfStep = false;  // this attempt's answer was not trusted
};

class ExchangeObserver {
  public:
    virtual ~ExchangeObserver() = default;
    virtual void OnExchange(const Exchange& exchange) = 0;
    // The board with this tag was closed: whatever was learnt of it may no longer hold (a
    // board opened later may carry the same tag).
    virtual void OnBoardClosed(int /*board*/) {}
};

// What the session has had to put right, for soak tests and traces.
struct SessionCounters {
    int exchanges = 0;     // requests sent, repeats included
    int outOfStep = 0;     // answers not trusted
    int repeats = 0;       // exchanges sent again after a drain
    int ambiguous = 0;     // requests whose result was Ambiguous
    int unvouched = 0;     // of those, answers taken with answers still owed or after an
                           // early report that nothing followed
    int owedTaken = 0;     // owed answers taken
    int owedGivenUp = 0;   // owed answers that had not come within their lifetime
    int writeChecks = 0;   // acknowledged writes looked after for a further report
    int staleTaken = 0;    // reports nobody was owed, taken by a drain
    int earlyForOwed = 0;  // of those, reports too soon to be the owed answer awaited
    int setAside = 0;      // reports during a request too soon to be its answer
};

// An answer the board still owes: to request, sent at sent with the bus clock in force.
struct OwedAnswer {
    Report request{};
    BusClockState clock;
    Clock::TimePoint sent{};
};

class BoardSession {
  public:
    static constexpr int kDefaultTimeoutMs = 6000;
    // Stale reports one drain takes at most: a board that never stops sending cannot hold
    // the program in a drain.
    static constexpr int kMaxDrainedReports = 256;

    // timing: the record of how soon the program's boards answer, shared by its sessions (a
    // new one when null).
    explicit BoardSession(std::unique_ptr<HidDevice> device, Clock& clock = Clock::Real(),
                          std::shared_ptr<AnswerTiming> timing = nullptr);
    ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // ---- Register transfers at addressByte (8-bit write form; reads add 1). values.size()
    // is the count: 1..62 for reads, 1..59 for writes, and the run must end at register 0xFF
    // or below; anything else is Refused. A read fills values only when the outcome is Ok.
    Outcome ReadRegisters(std::uint8_t addressByte, std::uint8_t first,
                          std::span<std::uint8_t> values);
    Outcome WriteRegisters(std::uint8_t addressByte, std::uint8_t first,
                           std::span<const std::uint8_t> values);

    // ---- Board commands. The set commands read no answer; the board's acknowledgement is
    // owed and taken before the next request.
    Outcome SetLed(bool on);
    Result<bool> ReadLed();
    Outcome SetBusClockDivider(std::uint8_t divider);
    Result<BusClock> ReadBusClock();
    Result<FirmwareVersion> ReadFirmwareVersion();

    // Takes every owed answer (each awaited until the board can no longer send it) and then
    // every stale report, waiting up to wait for each further one (zero: only what is already
    // there). Returns how many reports were taken.
    int Drain(Clock::Duration wait = Clock::Duration::zero());

    // The answers still owed, handed to the session that opens the same board again (a
    // Retry's reconnection): the board may still send them. None when the board was seen
    // gone, since its answers went with it. This session owes nothing afterwards.
    std::vector<OwedAnswer> TakeOwedAnswers();
    // Answers a previous session of the same board was still owed.
    void CarryOwedAnswers(std::vector<OwedAnswer> owed);
    std::size_t OwedAnswers() const { return owed_.size(); }

    void SetTimeoutMs(int ms) { timeoutMs_ = ms; }
    // Receives every exchange, tagged with board; null for none (then nothing is recorded or
    // copied).
    void SetObserver(ExchangeObserver* observer, int board = -1) {
        observer_ = observer;
        observerTag_ = board;
    }
    ExchangeObserver* Observer() const { return observer_; }
    const SessionCounters& Counters() const { return counters_; }
    const AnswerTiming& Timing() const { return *timing_; }

  private:
    // Sends request and, when answer is not null, reads its answer, keeping in step.
    Outcome Transact(const Report& request, Report* answer);
    Outcome TransactOnce(const Report& request, Report& answer, int attempt, bool& outOfStep);
    Outcome SendSetting(Command command, std::uint8_t value);
    Outcome Query(Command command, Report& answer);
    // True when another report comes by until (only what is there when until has passed);
    // it is taken into report.
    bool ReportFollowsBy(Clock::TimePoint until, Report& report);
    // A late answer, or a set command's acknowledgement, to request sent at sent.
    void Owe(const Report& request, Clock::TimePoint sent);
    // A report that is no answer came while answers were owed: it is taken for the oldest.
    void TakeForOwed();
    void ForgetExpiredOwed();
    // Reading failed: the board is gone, and what it owed with it.
    void BoardLost();
    void Observe(Exchange& exchange);

    std::unique_ptr<HidDevice> device_;
    Clock& clock_;
    int timeoutMs_ = kDefaultTimeoutMs;
    std::deque<OwedAnswer> owed_;  // oldest first
    bool gone_ = false;
    std::shared_ptr<AnswerTiming> timing_;
    BusClockState busClock_;
    ExchangeObserver* observer_ = nullptr;
    int observerTag_ = -1;
    SessionCounters counters_;
};

}  // namespace vrq::board
