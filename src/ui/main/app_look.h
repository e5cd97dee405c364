// The program's look, set once for the whole application: the style, font and icon that the
// windows' fixed geometry was laid out for.
#pragma once

class QApplication;
class QTabBar;

namespace vrq::ui {

void ApplyApplicationLook(QApplication& app);

// The style draws a tab strip's focus frame only when the focus came by the keyboard; this
// strip shows it however the focus came (a click on a caption gives it, and typed keys go
// there). The strip keeps the application's style otherwise.
void ShowFocusAlways(QTabBar& strip);

}  // namespace vrq::ui
