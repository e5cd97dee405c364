// The simulated USB side: a set of HID devices (evaluation boards and others) behind the
// same transport interface as hidapi, so discovery, session and link code run unchanged.
//
// As with hidraw, every open handle of a board receives every input report the board sends,
// whoever wrote the command. As with the hidapi backend, a program of ours holds a board
// alone: a second program (AnotherProgram) is refused with InUse until the first closes it.
// A program that is not ours (OpenAsForeignProgram) takes no lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/clock.h"
#include "board/device_watch.h"
#include "board/hid_transport.h"
#include "sim/sim_board.h"

namespace vrq::sim {

class SimTransport : public board::HidTransport {
  public:
    explicit SimTransport(board::Clock& clock = board::Clock::Real());
    ~SimTransport() override;
    SimTransport(const SimTransport&) = delete;
    SimTransport& operator=(const SimTransport&) = delete;

    // A board with the evaluation board's IDs; listed at the end of the enumeration.
    SimBoard& AddBoard(std::uint8_t chipAddress7 = kDefaultChipAddress7);
    // Any other HID device (keyboard, mouse); it is listed but is never a board.
    void AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId, std::string name);
    std::size_t BoardCount() const;
    SimBoard& Board(std::size_t index);

    // Pulling the plug: open handles fail from then on (queued answers are lost) and the
    // board leaves the enumeration until plugged back. The watch tells of both, and of a
    // board added.
    void Unplug(std::size_t board);
    void Plug(std::size_t board);
    bool Plugged(std::size_t board) const;
    board::DeviceWatch& Watch();
    // The path a board is listed and opened under.
    static std::string BoardPath(std::size_t board);
    // A report nobody asked for (all zero, or the one given) reaches every open handle of the
    // board after delay.
    void SendUnsolicitedAnswer(std::size_t board,
                               board::Clock::Duration delay = board::Clock::Duration::zero(),
                               const board::Report& report = {});

    void SetZeroLatency(bool zero);          // every board, present and future
    void SetListEachBoardTwice(bool twice);  // as hidapi does for several usage pages
    // Opening the board fails for this reason (None: opens again). InUse reports holder.
    void SetOpenFailure(std::size_t board, board::OpenFailure failure, std::string holder = {});
    void SetFailOpen(std::size_t board, bool fail);  // Other, or None

    // Another program of ours on the same USB: it sees the same boards and contends for
    // the same locks. name is what a refused program is told ("name (process pid)").
    std::unique_ptr<SimTransport> AnotherProgram(std::string name);
    // A handle of a program that is not ours: no lock taken or honoured.
    std::unique_ptr<board::HidDevice> OpenAsForeignProgram(const std::string& path);

    std::vector<board::HidDeviceInfo> Enumerate() override;
    board::OpenResult Open(const std::string& path) override;

    // Handle accounting, to prove every open is closed exactly once (all programs).
    int OpenHandles() const;
    int TotalOpens() const;
    int TotalCloses() const;

    board::Clock& TheClock() const;

    struct Impl;

  private:
    struct ProgramKey {};  // only a program's own transport makes another program

  public:
    SimTransport(ProgramKey key, std::shared_ptr<Impl> impl, std::string name);

  private:
    std::shared_ptr<Impl> impl_;  // shared with the handles, which may outlive a test's board
    std::string name_;            // this program's name, for the lock
};

}  // namespace vrq::sim
