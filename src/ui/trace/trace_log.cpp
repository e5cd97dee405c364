#include "ui/trace/trace_log.h"

#include <algorithm>

namespace vrq::ui {

TraceRecorder::TraceRecorder(board::ExchangeHub& hub, board::Clock& clock, std::size_t capacity)
    : hub_(&hub),
      clock_(clock),
      capacity_(std::max<std::size_t>(capacity, 1)),
      origin_(clock_.Now()) {
    // Reserved once: recording never reallocates, and the pages are only touched as the ring
    // fills.
    ring_.reserve(capacity_);
    hub.Add(this);
}

TraceRecorder::~TraceRecorder() {
    Detach();
}

void TraceRecorder::Detach() {
    if (hub_ != nullptr) {
        hub_->Remove(this);
        hub_ = nullptr;
    }
}

void TraceRecorder::OnExchange(const board::Exchange& exchange) {
    if (paused_) {
        return;
    }
    if (ring_.size() < capacity_) {
        ring_.push_back(exchange);  // slot end_: the ring fills in recording order
    } else {
        ring_[end_ % capacity_] = exchange;
    }
    ++end_;
}

void TraceRecorder::Clear() {
    cleared_ = end_;
    clearedOnce_ = true;
    origin_ = clock_.Now();
    wallOrigin_ = std::chrono::system_clock::now();
}

std::uint64_t TraceRecorder::FirstSeq() const {
    const std::uint64_t kept = std::min<std::uint64_t>(end_ - cleared_, ring_.size());
    return end_ - kept;
}

const board::Exchange* TraceRecorder::At(std::uint64_t seq) const {
    if (seq < FirstSeq() || seq >= end_) {
        return nullptr;
    }
    return &ring_[seq % capacity_];
}

}  // namespace vrq::ui
