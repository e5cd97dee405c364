// The program's look, set once for the whole application: the style, font and icon that the
// windows' fixed geometry was laid out for.
#pragma once

class QApplication;

namespace vrq::ui {

inline constexpr const char* kIconResource = ":/vrq/icon.png";
inline constexpr const char* kLogoResource = ":/vrq/logo.png";

void ApplyApplicationLook(QApplication& app);

}  // namespace vrq::ui
