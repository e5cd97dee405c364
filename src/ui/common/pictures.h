// The program's own pictures, built into it as resources.
#pragma once

class QPixmap;

namespace vrq::ui {

inline constexpr const char* kIconResource = ":/vrq/icon.png";
inline constexpr const char* kLogoResource = ":/vrq/logo.png";

// One of the pictures above, read as PNG outright: left to guess the format, Qt's image reader
// first loads every image-format plugin installed, which costs the window's first paint a few
// milliseconds for nothing. A null pixmap if the resource is missing.
QPixmap ResourcePixmap(const char* resource);

}  // namespace vrq::ui
