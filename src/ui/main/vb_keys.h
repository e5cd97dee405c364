// The virtual-key codes and character codes the window's key handlers compare against (the
// Windows values, which the handlers' KeyCode and KeyAscii carry).
#pragma once

namespace vrq::ui::vk {

inline constexpr int kBackspace = 8;
inline constexpr int kTab = 9;
inline constexpr int kReturn = 13;
inline constexpr int kShift = 16;
inline constexpr int kControl = 17;
inline constexpr int kPageUp = 33;
inline constexpr int kPageDown = 34;
inline constexpr int kLeft = 37;
inline constexpr int kUp = 38;
inline constexpr int kRight = 39;
inline constexpr int kDown = 40;
inline constexpr int kA = 65;
inline constexpr int kC = 67;
inline constexpr int kV = 86;

}  // namespace vrq::ui::vk
