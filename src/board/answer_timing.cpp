#include "board/answer_timing.h"

#include <algorithm>

namespace vrq::board {
namespace {

using Seconds = std::chrono::duration<double>;

bool IsTransfer(const Report& request) {
    return request[off::kCommand] == CommandI2C;
}

}  // namespace

std::uint32_t AnswerTiming::KindOf(const Report& request, BusClockState clock) {
    const bool transfer = IsTransfer(request);
    const std::uint32_t readBit = transfer ? (request[off::kAddress] & 1U) : 0U;
    const std::uint32_t divider = transfer ? clock.divider : 0U;
    return (divider << 24) | (static_cast<std::uint32_t>(request[off::kCommand]) << 16) |
           (static_cast<std::uint32_t>(request[off::kSubCommand]) << 8) | readBit;
}

AnswerTiming::Entry* AnswerTiming::Find(std::uint32_t kind) {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [kind](const Entry& e) { return e.kind == kind; });
    return it == entries_.end() ? nullptr : &*it;
}

const AnswerTiming::Entry* AnswerTiming::Find(std::uint32_t kind) const {
    return const_cast<AnswerTiming*>(this)->Find(kind);
}

void AnswerTiming::NoteLeastRoundTrip(Duration least) {
    least_ = std::max(least_, least);
}

void AnswerTiming::Record(const Report& request, BusClockState clock, Duration roundTrip) {
    const std::uint32_t kind = KindOf(request, clock);
    Entry* entry = Find(kind);
    if (entry == nullptr) {
        entries_.push_back(Entry{kind, IsTransfer(request), BusTime(request, clock)});
        entry = &entries_.back();
    }
    if (entry->count == 0 || roundTrip < entry->fastest) {
        entry->second = entry->count == 0 ? roundTrip : entry->fastest;
        entry->fastest = roundTrip;
    } else if (entry->count == 1 || roundTrip < entry->second) {
        entry->second = roundTrip;
    }
    ++entry->count;
    if (roundTrip <= entry->fastest * 2) {
        entry->recent[entry->kept++ % kSamples] = roundTrip;
    }
    entry->earlyAlone = 0;
}

std::optional<AnswerTiming::Duration> AnswerTiming::Fastest(std::uint32_t kind) const {
    const Entry* entry = Find(kind);
    if (entry == nullptr || entry->count < kMinSamples) {
        return std::nullopt;
    }
    return entry->fastest;
}

AnswerTiming::Duration AnswerTiming::BusTime(const Report& request, BusClockState clock) {
    if (!IsTransfer(request) || clock.baseMHz == 0 || clock.divider == 0) {
        return Duration::zero();
    }
    // Nine bit times a byte (eight and the acknowledge): the address and register bytes, for
    // a read the address again, then the data; and the start, stop and repeated start.
    const long count = request[off::kCount];
    const bool read = (request[off::kAddress] & 1U) != 0;
    const long bits = read ? 9 * (3 + count) + 3 : 9 * (2 + count) + 2;
    return std::chrono::duration_cast<Duration>(Seconds(
        static_cast<double>(bits) * clock.divider / (static_cast<double>(clock.baseMHz) * 1e6)));
}

namespace {

AnswerTiming::Duration LatestOf(
    const std::array<AnswerTiming::Duration, AnswerTiming::kSamples>& recent, std::size_t kept) {
    const auto end = recent.begin() + static_cast<long>(std::min(kept, AnswerTiming::kSamples));
    return end == recent.begin() ? AnswerTiming::Duration::zero()
                                 : *std::max_element(recent.begin(), end);
}

}  // namespace

std::optional<AnswerTiming::Span> AnswerTiming::Own(std::uint32_t kind) const {
    const Entry* entry = Find(kind);
    if (entry == nullptr || entry->count < kMinSamples) {
        return std::nullopt;
    }
    return Span{entry->fastest, entry->second,
                std::max(entry->fastest, LatestOf(entry->recent, entry->kept))};
}

std::optional<AnswerTiming::Span> AnswerTiming::UsbPart() const {
    // Pooled over the commands without a transfer: they all take the USB frames alone.
    std::size_t count = 0;
    std::vector<Duration> fastest;
    Duration latest{};
    for (const Entry& e : entries_) {
        if (!e.transfer && e.count > 0) {
            count += e.count;
            fastest.push_back(e.fastest);
            if (e.count > 1) {
                fastest.push_back(e.second);
            }
            latest = std::max({latest, e.fastest, LatestOf(e.recent, e.kept)});
        }
    }
    if (count < kMinUsbSamples) {
        return std::nullopt;
    }
    std::partial_sort(fastest.begin(), fastest.begin() + 2, fastest.end());
    return Span{fastest[0], fastest[1], latest};
}

bool AnswerTiming::TransfersTakeBusTime() const {
    if (least_ > Duration::zero()) {
        return true;  // a physical board runs the transfer before it answers
    }
    // Most kinds must show it: a few late answers do not make a board that answers at once
    // a physical one.
    int taking = 0;
    int notTaking = 0;
    for (const Entry& e : entries_) {
        if (e.transfer && e.busTime > Duration::zero() && e.count >= kMinSamples) {
            ++(e.fastest >= e.busTime ? taking : notTaking);
        }
    }
    return taking > notTaking;
}

AnswerTiming::Duration AnswerTiming::BusTimeTaken(const Report& request,
                                                  BusClockState clock) const {
    return TransfersTakeBusTime() ? BusTime(request, clock) : Duration::zero();
}

AnswerTiming::Span AnswerTiming::FloorSpan(const Report& request, BusClockState clock) const {
    if (const auto own = Own(KindOf(request, clock))) {
        return {std::max(own->fastest, least_), std::max(own->second, least_), own->latest};
    }
    if (const auto usb = UsbPart()) {
        const Duration bus = BusTimeTaken(request, clock);
        return {std::max(usb->fastest + bus, least_), std::max(usb->second + bus, least_),
                usb->latest + bus};
    }
    // Nothing timed: the device's least round trip, and twice that as when answers may come.
    return {least_, least_, least_ * 2};
}

AnswerTiming::Duration AnswerTiming::Floor(const Report& request, BusClockState clock) const {
    return FloorSpan(request, clock).fastest;
}

Arrival AnswerTiming::Judge(const Report& request, BusClockState clock, Duration roundTrip) const {
    if (roundTrip < least_) {
        return Arrival::Impossible;
    }
    const Span floor = FloorSpan(request, clock);
    if (floor.fastest <= least_) {
        // Nothing learnt beyond what the device declares: sooner than twice that, a further
        // report is looked for before the answer is taken.
        return roundTrip < least_ * 2 ? Arrival::Close : Arrival::OnTime;
    }
    const Seconds margin =
        std::max({Seconds(floor.fastest) * kLeastMargin, Seconds(kSchedulingNoise),
                  Seconds(floor.second - floor.fastest) * 2.0});
    if (Seconds(roundTrip) < Seconds(floor.fastest) - margin) {
        return Arrival::Early;
    }
    return roundTrip < floor.fastest ? Arrival::Close : Arrival::OnTime;
}

AnswerTiming::Duration AnswerTiming::LatestLately(const Report& request,
                                                  BusClockState clock) const {
    return FloorSpan(request, clock).latest;
}

AnswerTiming::Duration AnswerTiming::AwaitRealAnswer(const Report& request,
                                                     BusClockState clock) const {
    const Duration latest = LatestLately(request, clock);
    return latest + latest / 2;
}

bool AnswerTiming::NoteEarlyAlone(const Report& request, BusClockState clock) {
    Entry* entry = Find(KindOf(request, clock));
    if (entry == nullptr) {
        entries_.push_back(
            Entry{KindOf(request, clock), IsTransfer(request), BusTime(request, clock)});
        entry = &entries_.back();
    }
    if (++entry->earlyAlone < 2) {
        return false;
    }
    if (entry->count >= kMinSamples) {
        *entry = Entry{entry->kind, entry->transfer, entry->busTime};
    } else {
        entries_.clear();
    }
    return true;
}

void AnswerTiming::NoteAnswerTaken(const Report& request, BusClockState clock) {
    if (Entry* entry = Find(KindOf(request, clock))) {
        entry->earlyAlone = 0;
    }
}

AnswerTiming::Duration AnswerTiming::OwedLifetime() const {
    const Duration lifetime = std::max<Duration>(kOwedLifetime, latestOwed_ * 2);
    return std::min<Duration>(lifetime, kLongestOwedLifetime);
}

void AnswerTiming::NoteOwedAnswerAfter(Duration sinceRequest) {
    latestOwed_ = std::max(latestOwed_, sinceRequest);
}

}  // namespace vrq::board
