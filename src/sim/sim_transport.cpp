#include "sim/sim_transport.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <thread>

#include "board/board_link.h"

namespace vrq::sim {

namespace {

using Clock = std::chrono::steady_clock;

class SimDevice;

}  // namespace

struct SimTransport::Impl {
    struct BoardSlot {
        std::unique_ptr<SimBoard> board;
        bool plugged = true;
        bool failOpen = false;
    };
    struct Device {
        std::string path;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        std::optional<std::size_t> board;  // index into boards; none for other devices
        std::string name;
    };

    std::vector<BoardSlot> boards;
    std::vector<Device> devices;  // enumeration order
    std::size_t otherCount = 0;
    bool zeroLatency = false;
    bool listTwice = false;
    std::vector<SimDevice*> handles;  // every handle not yet destroyed
    int totalOpens = 0;
    int totalCloses = 0;
};

namespace {

// One open path. Like a hidraw file descriptor it has its own input queue: an answer goes
// to the handle that wrote the command, and closing the handle discards what it held.
class SimDevice : public board::HidDevice {
  public:
    SimDevice(std::shared_ptr<SimTransport::Impl> impl, std::optional<std::size_t> board)
        : impl_(std::move(impl)), board_(board) {
        impl_->handles.push_back(this);
        ++impl_->totalOpens;
    }
    ~SimDevice() override {
        std::erase(impl_->handles, this);
        ++impl_->totalCloses;
    }
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    bool Write(const board::Report& report) override;
    board::ReadOutcome Read(board::Report& report, int timeoutMs) override;

    std::optional<std::size_t> Board() const { return board_; }
    bool Dead() const { return dead_; }
    void Kill() {
        dead_ = true;
        queue_.clear();
    }
    void Queue(Clock::time_point ready, const board::Report& answer) {
        queue_.push_back({ready, answer});
    }

  private:
    struct Pending {
        Clock::time_point ready;
        board::Report answer;
    };

    std::shared_ptr<SimTransport::Impl> impl_;
    std::optional<std::size_t> board_;
    bool dead_ = false;
    std::deque<Pending> queue_;
};

bool SimDevice::Write(const board::Report& report) {
    if (dead_ || !board_) {
        return false;  // gone, or a keyboard that takes no such report
    }
    SimBoard& sim = *impl_->boards[*board_].board;
    if (sim.failWrites > 0) {
        --sim.failWrites;
        return false;
    }
    const auto now = Clock::now();
    // Timed from the command as it arrives, before it can change the divider.
    const auto latency = sim.ZeroLatency() ? std::chrono::microseconds{0} : sim.ModelTime(report);
    const board::Report answer = sim.Handle(report);
    if (dead_) {
        return true;  // the plug was pulled while the command ran: the answer is lost
    }
    if (sim.dropAnswers > 0) {
        --sim.dropAnswers;
        return true;
    }
    auto ready = now + latency;
    if (sim.lateAnswers > 0) {
        --sim.lateAnswers;
        ready += sim.lateBy;
    }
    Queue(ready, answer);
    return true;
}

board::ReadOutcome SimDevice::Read(board::Report& report, int timeoutMs) {
    if (dead_) {
        return board::ReadOutcome::Failure;
    }
    const auto now = Clock::now();
    // A negative time-out blocks until an answer comes; with nothing queued none ever will
    // (the simulation has no threads), so it returns at once rather than hang.
    const bool forever = timeoutMs < 0;
    const auto deadline = now + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    if (!queue_.empty() && (forever || queue_.front().ready <= deadline)) {
        std::this_thread::sleep_until(queue_.front().ready);
        report = queue_.front().answer;
        report[board::off::kReportId] = 0;
        queue_.pop_front();
        return board::ReadOutcome::Answer;
    }
    std::this_thread::sleep_until(deadline);
    return board::ReadOutcome::Timeout;
}

}  // namespace

SimTransport::SimTransport() : impl_(std::make_shared<Impl>()) {}

SimTransport::~SimTransport() = default;

SimBoard& SimTransport::AddBoard(std::uint8_t chipAddress7) {
    const std::size_t index = impl_->boards.size();
    // Each board its own fixed seed: runs repeat, boards differ.
    auto sim = std::make_unique<SimBoard>(chipAddress7, static_cast<std::uint32_t>(index + 1));
    sim->SetZeroLatency(impl_->zeroLatency);
    SimBoard& ref = *sim;
    impl_->boards.push_back({std::move(sim)});
    impl_->devices.push_back({"sim:board" + std::to_string(index), board::kBoardVendorId,
                              board::kBoardProductId, index, "evaluation board"});
    return ref;
}

void SimTransport::AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId,
                                  std::string name) {
    impl_->devices.push_back({"sim:other" + std::to_string(impl_->otherCount++), vendorId,
                              productId, std::nullopt, std::move(name)});
}

std::size_t SimTransport::BoardCount() const {
    return impl_->boards.size();
}

SimBoard& SimTransport::Board(std::size_t index) {
    return *impl_->boards.at(index).board;
}

void SimTransport::Unplug(std::size_t board) {
    impl_->boards.at(board).plugged = false;
    for (SimDevice* handle : impl_->handles) {
        if (handle->Board() == board) {
            handle->Kill();
        }
    }
}

void SimTransport::Plug(std::size_t board) {
    impl_->boards.at(board).plugged = true;
}

void SimTransport::SendUnsolicitedAnswer(std::size_t board) {
    const auto now = Clock::now();
    for (SimDevice* handle : impl_->handles) {
        if (handle->Board() == board && !handle->Dead()) {
            handle->Queue(now, board::Report{});
        }
    }
}

void SimTransport::SetZeroLatency(bool zero) {
    impl_->zeroLatency = zero;
    for (auto& slot : impl_->boards) {
        slot.board->SetZeroLatency(zero);
    }
}

void SimTransport::SetListEachBoardTwice(bool twice) {
    impl_->listTwice = twice;
}

void SimTransport::SetFailOpen(std::size_t board, bool fail) {
    impl_->boards.at(board).failOpen = fail;
}

std::vector<board::HidDeviceInfo> SimTransport::Enumerate() {
    std::vector<board::HidDeviceInfo> list;
    for (const auto& device : impl_->devices) {
        if (device.board && !impl_->boards[*device.board].plugged) {
            continue;
        }
        const board::HidDeviceInfo info{device.path, device.vendorId, device.productId};
        list.push_back(info);
        if (device.board && impl_->listTwice) {
            list.push_back(info);
        }
    }
    return list;
}

std::unique_ptr<board::HidDevice> SimTransport::Open(const std::string& path) {
    const auto it = std::find_if(impl_->devices.begin(), impl_->devices.end(),
                                 [&](const Impl::Device& device) { return device.path == path; });
    if (it == impl_->devices.end()) {
        return nullptr;
    }
    if (it->board) {
        const auto& slot = impl_->boards[*it->board];
        if (!slot.plugged || slot.failOpen) {
            return nullptr;
        }
    }
    return std::make_unique<SimDevice>(impl_, it->board);
}

int SimTransport::OpenHandles() const {
    return static_cast<int>(impl_->handles.size());
}

int SimTransport::TotalOpens() const {
    return impl_->totalOpens;
}

int SimTransport::TotalCloses() const {
    return impl_->totalCloses;
}

}  // namespace vrq::sim
