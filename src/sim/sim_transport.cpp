#include "sim/sim_transport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "board/device_lock.h"
#include "board/discovery.h"

namespace vrq::sim {

namespace {

using TimePoint = board::Clock::TimePoint;

class SimDevice;

}  // namespace

struct SimTransport::Impl {
    explicit Impl(board::Clock& c) : clock(c) {}

    struct Pending {
        TimePoint ready;
        board::Report report;
    };
    struct BoardSlot {
        std::unique_ptr<SimBoard> board;
        std::deque<Pending> inFlight;  // sent, not yet arrived; in the order they arrive
        bool plugged = true;
        board::OpenFailure openFailure = board::OpenFailure::None;
        std::string scriptedHolder;
        const SimTransport* holder = nullptr;  // the program of ours that has it open
        std::string holderName;
        int heldHandles = 0;
    };
    struct Device {
        std::string path;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        std::optional<std::size_t> board;  // index into boards; none for other devices
        std::string name;
    };

    // A report the board sends, arriving at ready.
    void Send(std::size_t board, TimePoint ready, const board::Report& report);
    // Every report that has arrived by now goes to each handle of its board open at its
    // arrival, as hidraw gives each open file one.
    void Deliver(std::size_t board, TimePoint now);
    // When the next report of the board arrives, if it does by deadline.
    std::optional<TimePoint> NextArrival(std::size_t board, TimePoint deadline) const;

    // Tells at once, as the board comes or goes.
    struct Watch : board::DeviceWatch {
        using DeviceWatch::Tell;
    };
    Watch watch;

    board::Clock& clock;
    std::vector<BoardSlot> boards;
    std::vector<Device> devices;  // enumeration order
    std::size_t otherCount = 0;
    bool zeroLatency = false;
    bool listTwice = false;
    std::string lockFolder;
    std::vector<SimDevice*> handles;  // every handle not yet destroyed
    int totalOpens = 0;
    int totalCloses = 0;
};

namespace {

// One open path. Like a hidraw file descriptor it has its own input queue, which every
// report of its board arriving while it is open reaches; closing the handle discards what it
// held.
class SimDevice : public board::HidDevice {
  public:
    SimDevice(std::shared_ptr<SimTransport::Impl> impl, std::optional<std::size_t> board,
              const SimTransport* lockHolder, std::unique_ptr<board::DeviceLock> fileLock = {})
        : impl_(std::move(impl)),
          board_(board),
          lockHolder_(lockHolder),
          fileLock_(std::move(fileLock)),
          openedAt_(impl_->clock.Now()) {
        impl_->handles.push_back(this);
        ++impl_->totalOpens;
    }
    ~SimDevice() override {
        std::erase(impl_->handles, this);
        ++impl_->totalCloses;
        if (lockHolder_ != nullptr) {
            auto& slot = impl_->boards[*board_];
            if (--slot.heldHandles == 0) {
                slot.holder = nullptr;
            }
        }
    }
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    bool Write(const board::Report& report) override;
    board::ReadOutcome Read(board::Report& report, int timeoutMs) override;
    std::chrono::steady_clock::duration LeastRoundTrip() const override {
        if (!board_ || impl_->boards[*board_].board->ZeroLatency()) {
            return {};
        }
        return SimBoard::kUsbFrame;  // the board's model takes one frame each way
    }

    std::optional<std::size_t> Board() const { return board_; }
    bool Dead() const { return dead_; }
    TimePoint OpenedAt() const { return openedAt_; }
    void Kill() {
        dead_ = true;
        queue_.clear();
    }
    // Reports reach a handle in the order they arrive.
    void Queue(TimePoint ready, const board::Report& report) { queue_.push_back({ready, report}); }

  private:
    std::shared_ptr<SimTransport::Impl> impl_;
    std::optional<std::size_t> board_;
    const SimTransport* lockHolder_;
    std::unique_ptr<board::DeviceLock> fileLock_;  // released after the handle is gone
    TimePoint openedAt_;
    bool dead_ = false;
    std::deque<SimTransport::Impl::Pending> queue_;
};

bool SimDevice::Write(const board::Report& report) {
    if (dead_ || !board_) {
        return false;  // gone, or a keyboard that takes no such report
    }
    const std::size_t index = *board_;
    SimBoard& sim = *impl_->boards[index].board;
    if (sim.failWrites > 0) {
        --sim.failWrites;
        return false;
    }
    const TimePoint now = impl_->clock.Now();
    // Timed from the command as it arrives, before it can change the divider.
    const auto latency = sim.ZeroLatency() ? std::chrono::microseconds{0} : sim.ModelTime(report);
    const board::Report answer = sim.Handle(report);
    if (dead_) {
        return true;  // the plug was pulled while the command ran: the answer is lost
    }
    if (sim.dropAnswers > 0) {
        --sim.dropAnswers;
        ++sim.answersDropped;
        return true;
    }
    TimePoint ready = now + latency;
    if (sim.lateAnswers > 0) {
        --sim.lateAnswers;
        ready += sim.lateBy;
    }
    impl_->Send(index, ready, answer);
    if (sim.onAnswer) {
        sim.onAnswer(answer, ready);
    }
    return true;
}

board::ReadOutcome SimDevice::Read(board::Report& report, int timeoutMs) {
    if (dead_) {
        return board::ReadOutcome::Failure;
    }
    board::Clock& clock = impl_->clock;
    const TimePoint now = clock.Now();
    // A negative time-out blocks until an answer comes; with nothing on its way none ever
    // will (the simulation has no threads), so it returns at once rather than hang.
    const bool forever = timeoutMs < 0;
    const TimePoint deadline =
        forever ? TimePoint::max() : now + std::chrono::milliseconds(timeoutMs);
    if (board_) {
        impl_->Deliver(*board_, now);
        if (queue_.empty()) {
            if (const auto next = impl_->NextArrival(*board_, deadline)) {
                impl_->Deliver(*board_, *next);
            }
        }
        if (dead_) {
            return board::ReadOutcome::Failure;
        }
        if (!queue_.empty()) {
            clock.SleepUntil(queue_.front().ready);  // passed: a wait that returns at once
            report = queue_.front().report;
            report[board::off::kReportId] = 0;
            queue_.pop_front();
            return board::ReadOutcome::Answer;
        }
    }
    clock.SleepUntil(forever ? now : deadline);
    return board::ReadOutcome::Timeout;
}

std::string ProgramName() {
    return program_invocation_short_name;
}

}  // namespace

void SimTransport::Impl::Send(std::size_t board, TimePoint ready, const board::Report& report) {
    auto& inFlight = boards[board].inFlight;
    const auto at = std::upper_bound(inFlight.begin(), inFlight.end(), ready,
                                     [](TimePoint t, const Pending& p) { return t < p.ready; });
    inFlight.insert(at, {ready, report});
}

void SimTransport::Impl::Deliver(std::size_t board, TimePoint now) {
    auto& inFlight = boards[board].inFlight;
    while (!inFlight.empty() && inFlight.front().ready <= now) {
        const Pending& arrived = inFlight.front();
        for (SimDevice* handle : handles) {
            if (handle->Board() == board && !handle->Dead() &&
                handle->OpenedAt() <= arrived.ready) {
                handle->Queue(arrived.ready, arrived.report);
            }
        }
        inFlight.pop_front();
    }
}

std::optional<TimePoint> SimTransport::Impl::NextArrival(std::size_t board,
                                                         TimePoint deadline) const {
    const auto& inFlight = boards[board].inFlight;
    if (inFlight.empty() || inFlight.front().ready > deadline) {
        return std::nullopt;
    }
    return inFlight.front().ready;
}

SimTransport::SimTransport(board::Clock& clock)
    : impl_(std::make_shared<Impl>(clock)), name_(ProgramName()) {}

SimTransport::SimTransport(ProgramKey /*key*/, std::shared_ptr<Impl> impl, std::string name)
    : impl_(std::move(impl)), name_(std::move(name)) {}

SimTransport::~SimTransport() = default;

std::unique_ptr<SimTransport> SimTransport::AnotherProgram(std::string name) {
    return std::make_unique<SimTransport>(ProgramKey{}, impl_, std::move(name));
}

SimBoard& SimTransport::AddBoard(std::uint8_t chipAddress7) {
    const std::size_t index = impl_->boards.size();
    // Each board its own fixed seed: runs repeat, boards differ.
    auto sim = std::make_unique<SimBoard>(chipAddress7, static_cast<std::uint32_t>(index + 1),
                                          impl_->clock);
    sim->SetZeroLatency(impl_->zeroLatency);
    SimBoard& ref = *sim;
    Impl::BoardSlot slot;
    slot.board = std::move(sim);
    impl_->boards.push_back(std::move(slot));
    impl_->devices.push_back({BoardPath(index), board::kBoardVendorId, board::kBoardProductId,
                              index, "evaluation board"});
    impl_->watch.Tell({board::DeviceChange::Kind::Arrived, BoardPath(index)});
    return ref;
}

std::string SimTransport::BoardPath(std::size_t board) {
    return "sim:board" + std::to_string(board);
}

board::DeviceWatch& SimTransport::Watch() {
    return impl_->watch;
}

bool SimTransport::Plugged(std::size_t board) const {
    return impl_->boards.at(board).plugged;
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
    const bool was = std::exchange(impl_->boards.at(board).plugged, false);
    impl_->boards[board].inFlight.clear();  // lost with the board
    for (SimDevice* handle : impl_->handles) {
        if (handle->Board() == board) {
            handle->Kill();
        }
    }
    if (was) {
        impl_->watch.Tell({board::DeviceChange::Kind::Left, BoardPath(board)});
    }
}

void SimTransport::Plug(std::size_t board) {
    if (!std::exchange(impl_->boards.at(board).plugged, true)) {
        impl_->watch.Tell({board::DeviceChange::Kind::Arrived, BoardPath(board)});
    }
}

void SimTransport::SendUnsolicitedAnswer(std::size_t board, board::Clock::Duration delay,
                                         const board::Report& report) {
    impl_->Send(board, impl_->clock.Now() + delay, report);
}

void SimTransport::SetZeroLatency(bool zero) {
    impl_->zeroLatency = zero;
    for (auto& slot : impl_->boards) {
        slot.board->SetZeroLatency(zero);
    }
}

void SimTransport::SetLockFolder(std::string folder) {
    impl_->lockFolder = std::move(folder);
}

std::string SimTransport::LockFileOf(std::size_t board) const {
    return impl_->lockFolder.empty() ? std::string()
                                     : impl_->lockFolder + "/board" + std::to_string(board);
}

void SimTransport::SetListEachBoardTwice(bool twice) {
    impl_->listTwice = twice;
}

void SimTransport::SetOpenFailure(std::size_t board, board::OpenFailure failure,
                                  std::string holder) {
    auto& slot = impl_->boards.at(board);
    slot.openFailure = failure;
    slot.scriptedHolder = std::move(holder);
}

void SimTransport::SetFailOpen(std::size_t board, bool fail) {
    SetOpenFailure(board, fail ? board::OpenFailure::Other : board::OpenFailure::None);
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

board::OpenResult SimTransport::Open(const std::string& path) {
    board::OpenResult result;
    const auto it = std::find_if(impl_->devices.begin(), impl_->devices.end(),
                                 [&](const Impl::Device& device) { return device.path == path; });
    if (it == impl_->devices.end()) {
        result.failure = board::OpenFailure::Gone;
        return result;
    }
    if (!it->board) {
        result.device = std::make_unique<SimDevice>(impl_, std::nullopt, nullptr);
        return result;
    }
    auto& slot = impl_->boards[*it->board];
    if (!slot.plugged) {
        result.failure = board::OpenFailure::Gone;
        return result;
    }
    if (slot.openFailure != board::OpenFailure::None) {
        result.failure = slot.openFailure;
        result.holder = slot.scriptedHolder;
        return result;
    }
    // One lock per board, as the hidapi backend's file lock: a second open is refused even
    // within the program that holds it.
    if (slot.holder != nullptr) {
        result.failure = board::OpenFailure::InUse;
        result.holder = slot.holderName + " (process " + std::to_string(::getpid()) + ")";
        return result;
    }
    // The lock file, as the hidapi backend locks a device node: another process simulating
    // the same boards in the same folder holds them alone.
    std::unique_ptr<board::DeviceLock> fileLock;
    if (const std::string file = LockFileOf(*it->board); !file.empty()) {
        result.failure = board::OpenFailureOf(
            board::DeviceLock::Acquire(file, true, fileLock, result.holder, result.why));
        if (result.failure == board::OpenFailure::Gone ||
            (result.failure == board::OpenFailure::NoLock && result.why.empty())) {
            result.failure = board::OpenFailure::NoLock;  // the folder, not the board, is missing
            result.why = "its lock file " + file + " cannot be made";
        }
        if (result.failure != board::OpenFailure::None) {
            return result;
        }
    }
    slot.holder = this;
    slot.holderName = name_;
    ++slot.heldHandles;
    result.device = std::make_unique<SimDevice>(impl_, it->board, this, std::move(fileLock));
    return result;
}

std::unique_ptr<board::HidDevice> SimTransport::OpenAsForeignProgram(const std::string& path) {
    const auto it = std::find_if(impl_->devices.begin(), impl_->devices.end(),
                                 [&](const Impl::Device& device) { return device.path == path; });
    if (it == impl_->devices.end() || !it->board || !impl_->boards[*it->board].plugged) {
        return nullptr;
    }
    return std::make_unique<SimDevice>(impl_, it->board, nullptr);
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

board::Clock& SimTransport::TheClock() const {
    return impl_->clock;
}

}  // namespace vrq::sim
