#include "margin/tally.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <numeric>

namespace vrq::margin {

double Tally::UncountedSeconds() const {
    return std::accumulate(uncounted.begin(), uncounted.end(), 0.0);
}

std::uint64_t Tally::MostErrors() const {
    std::uint64_t most = 0;
    for (const LinkCount& link : links) {
        most = std::max(most, link.errors);
    }
    return most;
}

bool Tally::AnyAtLeast() const {
    return std::any_of(links.begin(), links.end(), [](const LinkCount& l) { return l.atLeast; });
}

void Tally::Add(const Tally& other) {
    for (std::size_t i = 0; i < links.size(); ++i) {
        links[i].errors += other.links[i].errors;
        links[i].atLeast = links[i].atLeast || other.links[i].atLeast;
    }
    seconds += other.seconds;
    for (std::size_t i = 0; i < uncounted.size(); ++i) {
        uncounted[i] += other.uncounted[i];
    }
}

std::optional<BerFigure> LinkFigure(const LinkCount& link, double seconds, double characterRateMHz,
                                    double confidence) {
    const double bits = seconds * LinkBitsPerSecond(characterRateMHz);
    if (!(bits > 0.0)) {
        return std::nullopt;
    }
    BerFigure figure;
    if (link.errors == 0) {
        figure.kind = BerFigure::Kind::UpperBound;
        figure.upper = PoissonUpper(0, confidence) / bits;
        return figure;
    }
    const PoissonRange range = PoissonInterval(link.errors, confidence);
    figure.value = static_cast<double>(link.errors) / bits;
    figure.lower = range.lower / bits;
    if (link.atLeast) {
        figure.kind = BerFigure::Kind::AtLeast;
        figure.upper = std::numeric_limits<double>::infinity();
    } else {
        figure.upper = PoissonUpper(link.errors, confidence) / bits;
    }
    return figure;
}

std::optional<BerFigure> WorstFigure(const Tally& tally, double characterRateMHz,
                                     double confidence) {
    std::optional<BerFigure> worst;
    for (const LinkCount& link : tally.links) {
        const auto figure = LinkFigure(link, tally.seconds, characterRateMHz, confidence);
        if (figure && (!worst || figure->upper > worst->upper ||
                       (figure->upper == worst->upper && figure->value > worst->value))) {
            worst = figure;
        }
    }
    return worst;
}

void ValidTime::Start(const Expectation& expected) {
    tally_ = {};
    Restart(expected);
}

void ValidTime::Restart(const Expectation& expected) {
    expected_ = expected;
    spanStart_.reset();
    startWhy_.reset();
    pending_ = {};
    lost_ = false;
    disturbed_ = false;
}

std::uint64_t ValidTime::PendingMost() const {
    std::uint64_t most = 0;
    for (const LinkCount& link : pending_) {
        most = std::max(most, link.errors);
    }
    return most;
}

std::optional<ValidTime::Span> ValidTime::OnReading(const CounterReading& reading) {
    Span span;
    lost_ = lost_ || reading.lost;
    for (std::size_t link = 0; link < pending_.size(); ++link) {
        if (reading.covered[link] && !reading.lost) {
            pending_[link].errors += reading.counts[link];
            pending_[link].atLeast =
                pending_[link].atLeast || reading.counts[link] == device::kCounterFull;
            span.counts[link] = reading.counts[link];
        }
    }
    if (!reading.state) {
        return std::nullopt;
    }
    lastState_ = reading.state;
    const std::optional<Uncounted> endWhy = WhyNotCounted(*reading.state, expected_);
    if (spanStart_) {
        span.seconds = std::chrono::duration<double>(reading.at - *spanStart_).count();
        span.why = startWhy_ ? startWhy_ : endWhy;
        if (!span.why && disturbed_) {
            span.why = Uncounted::Disturbed;
        }
        if (!span.why && lost_) {
            span.why = Uncounted::Lost;
        }
        if (span.why) {
            tally_.uncounted[static_cast<std::size_t>(*span.why)] += span.seconds;
        } else {
            tally_.seconds += span.seconds;
            for (std::size_t link = 0; link < pending_.size(); ++link) {
                tally_.links[link].errors += pending_[link].errors;
                tally_.links[link].atLeast = tally_.links[link].atLeast || pending_[link].atLeast;
            }
        }
    }
    const bool closed = spanStart_.has_value();
    spanStart_ = reading.at;
    startWhy_ = endWhy;
    pending_ = {};
    lost_ = false;
    disturbed_ = false;
    if (!closed) {
        return std::nullopt;
    }
    return span;
}

}  // namespace vrq::margin
