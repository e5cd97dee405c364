// The bus trace's recording: every exchange of every board, as the exchange hub hands it over,
// in a ring of the most recent ones. Plain C++ (no Qt), so that it is tested without a window.
//
// The main window keeps one recorder on its hub from the start of the session, whether or not
// the trace window is open. Recording an exchange copies it into a slot reserved up front;
// nothing is formatted until a row is shown or saved.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "board/board_session.h"
#include "board/clock.h"
#include "board/exchange_hub.h"

namespace vrq::ui {

inline constexpr std::size_t kTraceCapacity = 100000;

class TraceRecorder : public board::ExchangeObserver {
  public:
    // Adds itself to the hub's observers; times are taken on clock, their origin is now.
    TraceRecorder(board::ExchangeHub& hub, board::Clock& clock,
                  std::size_t capacity = kTraceCapacity);
    // Removes itself from the hub.
    ~TraceRecorder() override;
    // Stops recording for good: removed from the hub now (a window closed, not yet gone).
    void Detach();
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    void OnExchange(const board::Exchange& exchange) override;
    bool Attached() const { return hub_ != nullptr; }

    // Paused, exchanges are not recorded (nor counted as dropped).
    void SetPaused(bool paused) { paused_ = paused; }
    bool Paused() const { return paused_; }
    // Forgets every exchange and the dropped count; times count from now.
    void Clear();
    // The wall-clock time of Origin(): the start of the recording, or its last Clear.
    std::chrono::system_clock::time_point WallOrigin() const { return wallOrigin_; }
    bool Cleared() const { return clearedOnce_; }

    // Each exchange recorded gets the next sequence number, never reused (not even after a
    // Clear). The ring holds [FirstSeq(), EndSeq()).
    std::uint64_t FirstSeq() const;
    std::uint64_t EndSeq() const { return end_; }
    std::size_t Size() const { return static_cast<std::size_t>(end_ - FirstSeq()); }
    // The exchange with sequence number seq; null when it is not (or no longer) in the ring.
    const board::Exchange* At(std::uint64_t seq) const;
    // Exchanges recorded since the last Clear that the ring no longer holds.
    std::uint64_t Dropped() const { return end_ - cleared_ - Size(); }
    board::Clock::TimePoint Origin() const { return origin_; }
    std::size_t Capacity() const { return capacity_; }

    // Every exchange in the ring, oldest first.
    template <typename Visit>
    void ForEach(Visit&& visit) const {
        for (std::uint64_t seq = FirstSeq(); seq < end_; ++seq) {
            visit(*At(seq));
        }
    }

  private:
    board::ExchangeHub* hub_;
    board::Clock& clock_;
    std::size_t capacity_;
    // Slot seq % capacity_; grows to capacity_ in recording order, then is overwritten.
    std::vector<board::Exchange> ring_;
    std::uint64_t end_ = 0;
    std::uint64_t cleared_ = 0;  // EndSeq() at the last Clear
    board::Clock::TimePoint origin_;
    std::chrono::system_clock::time_point wallOrigin_ = std::chrono::system_clock::now();
    bool clearedOnce_ = false;
    bool paused_ = false;
};

}  // namespace vrq::ui
