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
    // A late answer (more than twice the floor) is no measure of when answers come.
    const std::optional<Span> own = Own(kind);
    if (!own || roundTrip <= own->fastest * 2) {
        entry->recent[entry->kept++ % kSamples] = roundTrip;
    }
    ++entry->count;
    entry->earlyAlone = 0;
}

std::optional<AnswerTiming::Duration> AnswerTiming::Fastest(std::uint32_t kind) const {
    const std::optional<Span> own = Own(kind);
    return own ? std::optional<Duration>(own->fastest) : std::nullopt;
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

AnswerTiming::Span AnswerTiming::SpanOf(std::span<Duration> recent, bool own) {
    // The second fastest stands for the fastest: one stray taken for an answer whose real one
    // was lost cannot pull the floor down, and it leaves the window of recent answers in time.
    std::sort(recent.begin(), recent.end());
    const std::size_t at = recent.size() >= 3 ? 1 : 0;
    return Span{recent[at], recent[at + 1], recent.back(), own, recent.front()};
}

std::optional<AnswerTiming::Span> AnswerTiming::Own(std::uint32_t kind) const {
    const Entry* entry = Find(kind);
    return entry == nullptr ? std::nullopt : OwnOf(*entry);
}

std::optional<AnswerTiming::Span> AnswerTiming::OwnOf(const Entry& entry) {
    if (entry.count < kMinSamples) {
        return std::nullopt;
    }
    // Every exchange asks: sorted in a copy on the stack, no allocation.
    std::array<Duration, kSamples> recent = entry.recent;
    return SpanOf(std::span(recent).first(std::min(entry.kept, kSamples)), true);
}

std::optional<AnswerTiming::Span> AnswerTiming::UsbPart() const {
    // Pooled over the commands without a transfer: they all take the USB frames alone.
    std::vector<Duration> recent;
    for (const Entry& e : entries_) {
        if (!e.transfer) {
            recent.insert(recent.end(), e.recent.begin(),
                          e.recent.begin() + static_cast<long>(std::min(e.kept, kSamples)));
        }
    }
    if (recent.size() < kMinUsbSamples) {
        return std::nullopt;
    }
    return SpanOf(recent, false);
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
        // From the entry in hand: looking each kind up again made every exchange cost the
        // square of the kinds seen.
        const std::optional<Span> own = e.transfer ? OwnOf(e) : std::nullopt;
        if (own && e.busTime > Duration::zero()) {
            ++(own->fastest >= e.busTime ? taking : notTaking);
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
        return {std::max(own->fastest, least_), std::max(own->second, least_), own->latest, true,
                std::max(own->seen, least_)};
    }
    if (const auto usb = UsbPart()) {
        const Duration bus = BusTimeTaken(request, clock);
        return {std::max(usb->fastest + bus, least_), std::max(usb->second + bus, least_),
                usb->latest + bus, false, std::max(usb->seen + bus, least_)};
    }
    // Nothing timed: the device's least round trip, and twice that as when answers may come.
    return {least_, least_, least_ * 2, false, least_};
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
    if (floor.own && Seconds(roundTrip) < Seconds(floor.fastest) - margin) {
        return Arrival::Early;
    }
    return roundTrip < floor.seen ? Arrival::Close : Arrival::OnTime;
}

AnswerTiming::Duration AnswerTiming::LatestLately(const Report& request,
                                                  BusClockState clock) const {
    return FloorSpan(request, clock).latest;
}

AnswerTiming::Duration AnswerTiming::CloseLook(const Report& request, BusClockState clock) const {
    const Span floor = FloorSpan(request, clock);
    return floor.own ? floor.fastest : floor.latest;
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
