// The simulated USB side: a set of HID devices (evaluation boards and others) behind the
// same transport interface as hidapi, so discovery and transfer code run unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/hid_transport.h"
#include "sim/sim_board.h"

namespace vrq::sim {

class SimTransport : public board::HidTransport {
  public:
    SimTransport();
    ~SimTransport() override;

    // A board with the evaluation board's IDs; listed at the end of the enumeration.
    SimBoard& AddBoard(std::uint8_t chipAddress7 = kDefaultChipAddress7);
    // Any other HID device (keyboard, mouse); it is listed but is never a board.
    void AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId, std::string name);
    std::size_t BoardCount() const;
    SimBoard& Board(std::size_t index);

    // Pulling the plug: open handles fail from then on (queued answers are lost) and the
    // board leaves the enumeration until plugged back.
    void Unplug(std::size_t board);
    void Plug(std::size_t board);
    // Queue an answer nobody asked for on every open handle of the board.
    void SendUnsolicitedAnswer(std::size_t board);

    void SetZeroLatency(bool zero);          // every board, present and future
    void SetListEachBoardTwice(bool twice);  // as hidapi does for several usage pages
    void SetFailOpen(std::size_t board, bool fail);

    std::vector<board::HidDeviceInfo> Enumerate() override;
    std::unique_ptr<board::HidDevice> Open(const std::string& path) override;

    // Handle accounting, to prove every open is closed exactly once.
    int OpenHandles() const;
    int TotalOpens() const;
    int TotalCloses() const;

    struct Impl;

  private:
    std::shared_ptr<Impl> impl_;  // shared with the handles, which may outlive a test's board
};

}  // namespace vrq::sim
