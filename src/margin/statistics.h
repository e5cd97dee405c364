// What a count of errors says about the bit error ratio. Errors come as a Poisson process, so
// k errors in n bits give the exact (Garwood) interval from the chi-square distribution:
// lower = chi2(alpha/2; 2k) / 2n, upper = chi2(1 - alpha/2; 2k + 2) / 2n, and a one-sided upper
// bound chi2(C; 2k + 2) / 2n; with no error the bound is -ln(1 - C) / n (3.0 / n at 95%).
// A point passes when its upper bound is at or below the target, never because its count is
// zero. The quantiles come from Boost.Math.
#pragma once

#include <cstdint>

namespace vrq::margin {

inline constexpr double kDefaultTargetBer = 1e-9;
inline constexpr double kDefaultConfidence = 0.95;

// The Poisson mean that k events bound from above with confidence (one-sided).
double PoissonUpper(std::uint64_t k, double confidence);
// The two-sided interval for the mean with confidence (lower 0 for k = 0).
struct PoissonRange {
    double lower = 0;
    double upper = 0;
};
PoissonRange PoissonInterval(std::uint64_t k, double confidence);

// Bits a link carries per second at a TMDS character rate.
double LinkBitsPerSecond(double characterRateMHz);
// The time without errors that shows a ratio below target with confidence at the rate:
// -ln(1 - C) / (target x rate x 10).
double SecondsToShow(double targetBer, double confidence, double characterRateMHz);
// The other way round: the ratio that seconds without errors can show.
double TargetShownBy(double seconds, double confidence, double characterRateMHz);

// The TMDS character rate for a pixel clock at a colour depth (8, 10, 12 or 16 bits a
// colour): 1, 1.25, 1.5 or 2 characters a pixel. 0 for another depth.
double CharacterRateMHz(double pixelClockMHz, int bitsPerColour);

}  // namespace vrq::margin
