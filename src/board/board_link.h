// The board link: finds the evaluation boards, moves 64-byte reports with a time-out, shows
// the Retry/Cancel messages of failed transfers through its host, and speaks the board's
// command protocol. One object per program; everything runs on the caller's thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/board_host.h"
#include "board/hid_transport.h"
#include "board/report.h"
#include "board/status.h"

namespace vrq::board {

// The evaluation board's USB identity (pid.codes open-source vendor ID; product ID ours).
inline constexpr std::uint16_t kBoardVendorId = 0x1209;
inline constexpr std::uint16_t kBoardProductId = 0x6208;

inline constexpr int kDefaultAnswerTimeoutMs = 6000;
inline constexpr int kDrainWaitMs = 1;
// Stale answers discarded by one DrainInput at most; a board that never stops sending
// cannot hold the program in the drain.
inline constexpr int kMaxDrainedReports = 256;
// How long after an LED or clock-divider set command its acknowledgement may still arrive.
// The board answers them too; a drain that gave up before the answer came would leave it to
// be taken for the next request's answer.
inline constexpr int kSetAckWindowMs = 10;

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

class BoardLink {
  public:
    BoardLink(HidTransport& transport, BoardHost& host);
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
    // Closes the boards and has the host end the program; never returns.
    [[noreturn]] void EndProgram();

    // ---- Report transfer
    void FillReport(std::uint8_t value);
    bool SendReport();
    Status ReceiveAnswer();
    // Reads the answer to a board command; false (after the message) when none arrived.
    bool ReceiveBoardAnswer();
    void DrainInput();
    void HandleTransferStatus(Status status, bool quiet);
    std::int16_t checkGPstatus(std::int32_t writeResult);
    void DelaySeconds(float seconds);

    // ---- Command protocol. Counts outside 1..62 (read) or 1..59 (write), or a values span
    // shorter than count, are never sent: the result is StatusDeviceError and nothing shows.
    Status ReadRegistersOnce(std::uint8_t address, std::uint8_t first, std::size_t count,
                             std::span<std::uint8_t> values);
    Status ReadRegisters(std::uint8_t address, std::uint8_t first, std::size_t count,
                         std::span<std::uint8_t> values, bool quiet);
    Status WriteRegistersOnce(std::uint8_t address, std::uint8_t first, std::size_t count,
                              std::span<const std::uint8_t> values);
    Status WriteRegisters(std::uint8_t address, std::uint8_t first, std::size_t count,
                          std::span<const std::uint8_t> values, bool quiet);
    // Board queries yield nothing when the command was not sent or no answer came.
    std::optional<FirmwareVersion> ReadFirmwareVersion();
    void SetLed(int state);
    std::optional<int> ReadLed();
    void SetBusClockDivider(std::uint8_t divider);
    std::optional<BusClock> ReadBusClock();

    // ---- State shared with the windows
    std::uint8_t I2CAddress = 0;     // 8-bit write form
    std::int16_t MessageResult = 0;  // answer of the last Retry/Cancel or Yes/No message
    const Report& ReportBuffer() const { return report_; }
    void SetAnswerTimeoutMs(int ms) { answerTimeoutMs_ = ms; }
    int AnswerTimeoutMs() const { return answerTimeoutMs_; }
    BoardHost& Host() { return host_; }

  private:
    static bool ValidCount(std::size_t count, std::size_t max, std::size_t span);
    MessageAnswer Ask(const std::string& text);
    // A board query: drain, send, await the answer. False when it was not sent or not answered.
    bool QueryBoard(Command command);
    void SendBoardSetting(Command command, std::uint8_t value);

    HidTransport& transport_;
    BoardHost& host_;
    std::vector<std::unique_ptr<HidDevice>> boards_;
    std::vector<std::string> paths_;
    std::optional<std::size_t> current_;
    // Acknowledgements of set commands not yet drained, on this board, due by this time.
    int pendingAcks_ = 0;
    std::size_t ackBoard_ = 0;
    std::chrono::steady_clock::time_point ackDueBy_{};
    Report report_{};
    int answerTimeoutMs_ = kDefaultAnswerTimeoutMs;
};

}  // namespace vrq::board
