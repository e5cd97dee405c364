// The board link: the window's policy on top of the board sessions. It finds the boards
// (asking Retry/Cancel while there is none), shows the Retry/Cancel messages of failed
// transfers through its host and carries out the answer (Retry finds the boards again and
// repeats the request, Cancel ends the program), pauses while the window handles events, keeps
// the status codes the windows branch on, and the chip the window works on (board instance and
// address) with word to whoever follows it. One object per program; everything runs on the
// caller's thread. The protocol itself, and keeping answers in step, is the session's; every
// exchange of its sessions goes to the exchange hub it was given.
// Plain C++: the window's policy, but no Qt, so that soaks and benchmarks run it bare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/board_session.h"
#include "board/clock.h"
#include "board/discovery.h"
#include "board/exchange_hub.h"
#include "board/hid_transport.h"
#include "board/notifier.h"
#include "ui/link/link_host.h"
#include "ui/link/status.h"

namespace vrq::link {

using board::BoardSession;
using board::BusClock;
using board::Clock;
using board::FirmwareVersion;
using board::Outcome;

inline constexpr int kDefaultAnswerTimeoutMs = BoardSession::kDefaultTimeoutMs;
// How long the window's explicit drain waits for each further stale report.
inline constexpr int kDrainWaitMs = 1;

// The status code a window branches on for a session's outcome.
Status StatusOf(Outcome outcome);

// Whether an open board is still plugged in, as the device watch has told.
enum class Presence : std::uint8_t {
    Present,
    Gone,  // unplugged: its session fails until the boards are found again
    Back,  // plugged in again at its path: opened again when it is chosen
};

// What a board's arrival did to the list.
struct Arrival {
    enum class Kind : std::uint8_t {
        Listed,     // a new board, opened and listed at the end
        Back,       // a board listed and gone is back at its path
        Known,      // the path is listed and present already: nothing to do
        NotOpened,  // a new board that could not be opened (failure says why)
    };
    Kind kind = Kind::Known;
    std::size_t instance = 0;        // Listed, Back, Known
    board::UnopenedBoard failure{};  // NotOpened
};

// The chip the window works on: the current board's instance (-1 with none open) and the
// chip's address byte (8-bit write form).
struct ChipRef {
    int board = -1;
    std::uint8_t addressByte = 0;
    friend bool operator==(const ChipRef&, const ChipRef&) = default;
};

class BoardLink {
  public:
    // Every session opened reports its exchanges to hub, tagged with its instance.
    BoardLink(board::HidTransport& transport, LinkHost& host, board::ExchangeHub& hub,
              Clock& clock = Clock::Real());
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
    // Makes an instance current (the instance list's click); a board that is back is opened
    // again first. False when out of range.
    bool SelectBoard(std::size_t instance);
    Presence BoardPresence(std::size_t instance) const;

    // ---- Boards that come and go (the device watch's news); nothing is asked or sent.
    Arrival BoardArrived(const std::string& path);
    // The instance of the board that left; nothing when the path is no board of the list.
    std::optional<std::size_t> BoardLeft(const std::string& path);
    // Told whenever the list of boards or a board's presence changes.
    using BoardsNotifier = board::Notifier<>;
    [[nodiscard]] BoardsNotifier::Subscription OnBoardsChanged(std::function<void()> listener) {
        return boardsChanged_.Subscribe(std::move(listener));
    }
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
    // The message of a board command that failed; its Retry finds the boards again, Cancel
    // ends the program.
    void checkGPstatus();
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
    // The current board's firmware for a display: no message, no Retry; nothing when there is
    // no board or no answer.
    std::optional<FirmwareVersion> QueryFirmwareQuietly();
    void SetLed(int state);
    std::optional<int> ReadLed();
    void SetBusClockDivider(std::uint8_t divider);
    std::optional<BusClock> ReadBusClock();

    // ---- The chip the window works on
    // The chip address (8-bit write form) the register operations go to.
    std::uint8_t I2CAddress() const { return address_; }
    void SetI2CAddress(std::uint8_t addressByte);
    ChipRef CurrentChip() const;
    // Told whenever the chip changes: another address, another board made current, the boards
    // found again or closed.
    using ChipNotifier = board::Notifier<ChipRef>;
    [[nodiscard]] ChipNotifier::Subscription OnChipChanged(std::function<void(ChipRef)> listener) {
        return chipChanged_.Subscribe(std::move(listener));
    }

    void SetAnswerTimeoutMs(int ms);
    LinkHost& Host() { return host_; }
    Clock& TheClock() { return clock_; }
    board::ExchangeHub& Hub() { return hub_; }

  private:
    MessageAnswer Ask(const std::string& text);
    // Runs a register operation on the current board, mapped to its status.
    template <typename Operation>
    Status OnCurrent(Operation&& operation);
    template <typename Attempt>
    Status Repeating(Attempt&& attempt, bool quiet);
    template <typename T>
    std::optional<T> QueryBoard(board::Result<T> (BoardSession::*query)());
    template <typename Arg>
    void SendSetting(Outcome (BoardSession::*set)(Arg), Arg value);
    // Tells the chip's followers when it is not the one they were last told of.
    void ChipMayHaveChanged();
    // A session for the board at path, on the hub under tag board; null when it cannot open.
    std::unique_ptr<BoardSession> Open(const std::string& path, int board,
                                       board::UnopenedBoard& failure);
    std::optional<std::size_t> InstanceOf(const std::string& path) const;

    board::HidTransport& transport_;
    LinkHost& host_;
    board::ExchangeHub& hub_;
    Clock& clock_;
    // How soon the boards answer: kept for the whole run, so that boards found again are
    // known from their first exchange.
    std::shared_ptr<board::AnswerTiming> timing_;
    std::vector<board::OpenedBoard> boards_;
    std::vector<Presence> presence_;  // per instance
    std::optional<std::size_t> current_;
    int answerTimeoutMs_ = kDefaultAnswerTimeoutMs;
    std::uint8_t address_ = 0;
    ChipRef told_;
    ChipNotifier chipChanged_;
    BoardsNotifier boardsChanged_;
};

}  // namespace vrq::link
