// Window geometry is designed in twips, 1440 to the inch: 15 to a pixel at 96 dpi. Every window
// converts with these, so that all of them round alike.
#pragma once

#include <QRect>

namespace vrq::ui {

inline constexpr int kTwipsPerPixel = 15;

// To the nearest pixel, halves away from zero (2200 twips, no whole number of pixels, is 147).
constexpr int Px(int twips) {
    const int half = kTwipsPerPixel / 2;
    return (twips >= 0 ? twips + half : twips - half) / kTwipsPerPixel;
}

// A place (left, top, width, height) in twips, in pixels.
constexpr QRect Tw(int left, int top, int width, int height) {
    return {Px(left), Px(top), Px(width), Px(height)};
}

}  // namespace vrq::ui
