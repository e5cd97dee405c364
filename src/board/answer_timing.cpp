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

const AnswerTiming::Entry* AnswerTiming::Find(std::uint32_t kind) const {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [kind](const Entry& e) { return e.kind == kind; });
    return it == entries_.end() ? nullptr : &*it;
}

void AnswerTiming::Record(const Report& request, BusClockState clock, Duration roundTrip) {
    const bool transfer = IsTransfer(request);
    const std::uint32_t kind = KindOf(request, clock);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [kind](const Entry& e) { return e.kind == kind; });
    if (it == entries_.end()) {
        entries_.push_back(Entry{kind, transfer, BusTime(request, clock), {}, 0});
        it = std::prev(entries_.end());
    }
    it->samples[it->count % kSamples] = roundTrip;
    ++it->count;
}

std::optional<AnswerTiming::Duration> AnswerTiming::UsualOf(const Entry& entry) const {
    if (entry.count < kMinSamples) {
        return std::nullopt;
    }
    const std::size_t n = std::min(entry.count, kSamples);
    std::array<Duration, kSamples> sorted = entry.samples;
    std::partial_sort(sorted.begin(), sorted.begin() + 2, sorted.begin() + static_cast<long>(n));
    return sorted[1];
}

std::optional<AnswerTiming::Duration> AnswerTiming::Usual(std::uint32_t kind) const {
    const Entry* entry = Find(kind);
    return entry != nullptr ? UsualOf(*entry) : std::nullopt;
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

bool AnswerTiming::IsEarly(const Report& request, BusClockState clock, Duration roundTrip) const {
    const Entry* entry = Find(KindOf(request, clock));
    const std::optional<Duration> usual = entry != nullptr ? UsualOf(*entry) : std::nullopt;
    if (usual) {
        const std::size_t n = std::min(entry->count, kSamples);
        std::array<Duration, kSamples> sorted = entry->samples;
        std::sort(sorted.begin(), sorted.begin() + static_cast<long>(n));
        // The spread without the extremes at either end; until four answers are known, a
        // tenth of the usual round trip stands for it.
        const Seconds spread = n >= 4 ? Seconds(sorted[n - 2] - sorted[1]) : Seconds(*usual) * 0.1;
        const Seconds margin =
            std::max({spread, Seconds(*usual) * kLeastMargin, Seconds(kSchedulingNoise)});
        return Seconds(roundTrip) < Seconds(*usual) - margin;
    }
    const std::optional<Duration> usb = UsbPart();
    if (!usb) {
        return false;
    }
    return SoonerThan(roundTrip, *usb + BusTimeTaken(request, clock));
}

bool AnswerTiming::SoonerThanAnyAnswer(const Report& request, BusClockState clock,
                                       Duration roundTrip) const {
    std::optional<Duration> fastest;
    for (const Entry& e : entries_) {
        if (e.transfer || e.count < kMinSamples) {
            continue;
        }
        const auto kept = e.samples.begin() + static_cast<long>(std::min(e.count, kSamples));
        const Duration least = *std::min_element(e.samples.begin(), kept);
        fastest = fastest ? std::min(*fastest, least) : least;
    }
    return fastest && SoonerThan(roundTrip, *fastest + BusTimeTaken(request, clock));
}

bool AnswerTiming::SoonerThan(Duration roundTrip, Duration least) {
    const Seconds s(least);
    return Seconds(roundTrip) < s - std::max(s * kLeastMargin, Seconds(kSchedulingNoise));
}

AnswerTiming::Duration AnswerTiming::BusTimeTaken(const Report& request,
                                                  BusClockState clock) const {
    return TransfersTakeBusTime() ? BusTime(request, clock) : Duration::zero();
}

bool AnswerTiming::TransfersTakeBusTime() const {
    // Most kinds must show it: a few late answers do not make a board that answers at once
    // a physical one.
    int taking = 0;
    int notTaking = 0;
    for (const Entry& e : entries_) {
        const auto usual = UsualOf(e);
        if (e.transfer && e.busTime > Duration::zero() && usual) {
            ++(*usual >= e.busTime ? taking : notTaking);
        }
    }
    return taking > notTaking;
}

std::optional<AnswerTiming::Duration> AnswerTiming::UsbPart() const {
    std::optional<Duration> usb;
    for (const Entry& e : entries_) {
        const auto u = UsualOf(e);
        if (u && !e.transfer && (!usb || *u < *usb)) {
            usb = u;
        }
    }
    return usb;
}

AnswerTiming::Duration AnswerTiming::AwaitRealAnswer(const Report& request,
                                                     BusClockState clock) const {
    // A kind not yet known takes the USB round trip and its bus time.
    const Duration usual =
        Usual(KindOf(request, clock))
            .value_or(UsbPart().value_or(Duration::zero()) + BusTime(request, clock));
    return usual + usual / 2;
}

}  // namespace vrq::board
