// Keyboard events in the window's event vocabulary: KeyCode is the Windows virtual-key code
// of the key (65 for A, 37 to 40 for the arrows, 33 and 34 for Page Up and Page Down), Shift
// the modifier mask (1 Shift, 2 Ctrl, 4 Alt, added together).
#pragma once

#include <QtCore/qnamespace.h>

namespace vrq::ui {

inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

// The virtual-key code of a Qt key; keypad keys (keypad set) have codes of their own. Shifted
// symbols give the code of their key on a US keyboard ("!" is the key of 1). 0 when unknown.
int VbKeyCode(int qtKey, bool keypad);

int VbShiftMask(Qt::KeyboardModifiers modifiers);

}  // namespace vrq::ui
