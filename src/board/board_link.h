// The board link: the window's policy on top of the board sessions. It finds the boards
// (asking Retry/Cancel while there is none), shows the Retry/Cancel messages of failed
// transfers through its host and carries out the answer (Retry finds the boards again and
// repeats the request, Cancel ends the program), pauses while the window handles events, and
// keeps the status codes the windows branch on. One object per program; everything runs on
// the caller's thread. The protocol itself, and keeping answers in step, is the session's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/board_host.h"
#include "board/board_session.h"
#include "board/clock.h"
#include "board/discovery.h"
#include "board/hid_transport.h"
#include "board/status.h"

namespace vrq::board {

inline constexpr int kDefaultAnswerTimeoutMs = BoardSession::kDefaultTimeoutMs;
// How long the window's explicit drain waits for each further stale report.
inline constexpr int kDrainWaitMs = 1;

// The status code a window branches on for a session's outcome.
Status StatusOf(Outcome outcome);

class BoardLink {
  public:
    BoardLink(HidTransport& transport, BoardHost& host, Clock& clock = Clock::Real());
    ~BoardLink();
    BoardLink(const BoardLink&) = delete;
    BoardLink& operator=(const BoardLink&) = delete;

    // ---- Discovery and connection
    // Closes every open board, opens every board found (asking Retry/Cancel while there is
    // none), then has the host list them. Cancel ends the program.
    void FindBoards();
    void CloseBoards();
    std::size_t BoardCount() const { return boards_.size(); }
    // The HID path of an open instance ("" when out of range).
    std::string BoardPath(std::size_t instance) const;
    // Makes an instance current (the instance list's click). False when out of range.
    bool SelectBoard(std::size_t instance);
    std::optional<std::size_t> CurrentBoard() const { return current_; }
    // The current board's session; null when no board is open.
    BoardSession* CurrentSession();
    // Closes the boards and has the host end the program; never returns.
    [[noreturn]] void EndProgram();

    // ---- Transfer policy
    // Takes the answers still owed and every stale report, waiting kDrainWaitMs for each.
    void DrainInput();
    // The message of a failed register transfer and the user's answer to it: a device error
    // is announced unless quiet; a read or write failure always, with Retry finding the
    // boards again. Cancel ends the program.
    void HandleTransferStatus(Status status, bool quiet);
    // 8 when writeResult is non-zero; otherwise the USB message, its Retry finding the boards
    // again (Cancel ends the program), and 0.
    std::int16_t checkGPstatus(std::int32_t writeResult);
    // Waits while the host handles window events every 4 ms; 0, negative or NaN return at
    // once, and a pause is at most a day.
    void DelaySeconds(float seconds);

    // ---- Register operations. Counts outside 1..62 (read) or 1..59 (write), a values span
    // shorter than count, or a run past register 0xFF are never sent: the result is
    // StatusDeviceError and nothing shows.
    Status ReadRegistersOnce(std::uint8_t address, std::uint8_t first, std::size_t count,
                             std::span<std::uint8_t> values);
    Status ReadRegisters(std::uint8_t address, std::uint8_t first, std::size_t count,
                         std::span<std::uint8_t> values, bool quiet);
    Status WriteRegistersOnce(std::uint8_t address, std::uint8_t first, std::size_t count,
                              std::span<const std::uint8_t> values);
    Status WriteRegisters(std::uint8_t address, std::uint8_t first, std::size_t count,
                          std::span<const std::uint8_t> values, bool quiet);

    // ---- Board commands. Queries yield nothing when the command was not sent or no answer
    // came (after the message). A set command that failed is sent again after Retry, on the
    // board that the new discovery made current.
    std::optional<FirmwareVersion> ReadFirmwareVersion();
    void SetLed(int state);
    std::optional<int> ReadLed();
    void SetBusClockDivider(std::uint8_t divider);
    std::optional<BusClock> ReadBusClock();

    // ---- State shared with the windows
    std::uint8_t I2CAddress = 0;     // 8-bit write form
    std::int16_t MessageResult = 0;  // answer of the last Retry/Cancel or Yes/No message
    void SetAnswerTimeoutMs(int ms);
    int AnswerTimeoutMs() const { return answerTimeoutMs_; }
    BoardHost& Host() { return host_; }
    Clock& TheClock() { return clock_; }
    // Every exchange of every board, present and future, tagged with its instance, goes to
    // each observer added (a trace window, an error-counter monitor). With none, the sessions
    // record nothing. Observers still added when the link is destroyed are told (OnLinkGone).
    void AddObserver(ExchangeObserver* observer);
    void RemoveObserver(ExchangeObserver* observer);

  private:
    MessageAnswer Ask(const std::string& text);
    // Runs a register operation on the current board, mapped to its status.
    template <typename Operation>
    Status OnCurrent(Operation&& operation);
    template <typename Attempt>
    Status Repeating(Attempt&& attempt, bool quiet);
    template <typename T>
    std::optional<T> QueryBoard(Result<T> (BoardSession::*query)());
    template <typename Arg>
    void SendSetting(Outcome (BoardSession::*set)(Arg), Arg value);

    HidTransport& transport_;
    BoardHost& host_;
    Clock& clock_;
    // How soon the boards answer: kept for the whole run, so that boards found again are
    // known from their first exchange.
    std::shared_ptr<AnswerTiming> timing_;
    std::vector<OpenedBoard> boards_;
    std::optional<std::size_t> current_;
    int answerTimeoutMs_ = kDefaultAnswerTimeoutMs;
    // Hands each exchange to every observer added.
    class Fanout : public ExchangeObserver {
      public:
        void OnExchange(const Exchange& exchange) override;
        std::vector<ExchangeObserver*> observers;
    };
    void AttachObservers();
    Fanout fanout_;
};

}  // namespace vrq::board
