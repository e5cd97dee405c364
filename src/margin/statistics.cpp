#include "margin/statistics.h"

#include <boost/math/distributions/chi_squared.hpp>

#include <cmath>

#include "device/link_registers.h"

namespace vrq::margin {

namespace {

double ChiSquareQuantile(double degrees, double p) {
    return boost::math::quantile(boost::math::chi_squared_distribution<double>(degrees), p);
}

}  // namespace

double PoissonUpper(std::uint64_t k, double confidence) {
    return ChiSquareQuantile(2.0 * static_cast<double>(k) + 2.0, confidence) / 2.0;
}

PoissonRange PoissonInterval(std::uint64_t k, double confidence) {
    const double alpha = 1.0 - confidence;
    PoissonRange range;
    range.lower = k == 0 ? 0.0 : ChiSquareQuantile(2.0 * static_cast<double>(k), alpha / 2.0) / 2.0;
    range.upper = ChiSquareQuantile(2.0 * static_cast<double>(k) + 2.0, 1.0 - alpha / 2.0) / 2.0;
    return range;
}

double LinkBitsPerSecond(double characterRateMHz) {
    return characterRateMHz * 1.0e6 * device::kBitsPerCharacter;
}

double SecondsToShow(double targetBer, double confidence, double characterRateMHz) {
    return -std::log1p(-confidence) / (targetBer * LinkBitsPerSecond(characterRateMHz));
}

double TargetShownBy(double seconds, double confidence, double characterRateMHz) {
    return -std::log1p(-confidence) / (seconds * LinkBitsPerSecond(characterRateMHz));
}

double CharacterRateMHz(double pixelClockMHz, int bitsPerColour) {
    switch (bitsPerColour) {
        case 8:
        case 10:
        case 12:
        case 16:
            return pixelClockMHz * bitsPerColour / 8.0;
        default:
            return 0.0;
    }
}

}  // namespace vrq::margin
