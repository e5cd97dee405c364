// The application's style: Fusion, one look on every desktop, with two of its costs moved off
// the window's first paint. What it draws is Fusion's, pixel for pixel.
#pragma once

#include <memory>

class QStyle;

namespace vrq::ui {

std::unique_ptr<QStyle> MakeApplicationStyle();

}  // namespace vrq::ui
