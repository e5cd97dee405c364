// The register panel's and the single-register frame's decisions, without widgets: which
// characters a hex box takes, which keys step a value, when a key release writes, which value
// a toggle button writes, which register an address box reaches, and a box's tool tip.
#pragma once

#include <QtCore/qnamespace.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vrq::ui {

// The character filter of every hex box: a-f become A-F; Backspace (8) and Enter (13) pass;
// any character other than 0-9 and A-F becomes 0 (dropped).
void filterHexKey(char16_t& character);

// The step of a key that steps a box's value on release: Down and Left -1, Up and Right +1,
// Page Down -16, Page Up +16; nothing for every other key.
std::optional<std::int16_t> StepForKey(Qt::Key key);

// A key released with Shift and/or Ctrl held writes nothing; with Alt held as well, or with no
// modifier (Meta and the keypad do not count), it goes on.
bool KeyUpStopsForModifiers(Qt::KeyboardModifiers modifiers);

// The value a toggle button writes. The pressed button writes its own box's value unless the
// register already holds it; then it writes the other box's value.
std::uint8_t ToggleValue(int pressedIndex, std::uint8_t value0, std::uint8_t value1,
                         std::uint8_t current);

// The register a single-register address reaches: the working set's 0x00..0x0C and 0x10
// stand; 0x0D..0x0F and everything above 0x10 become 0x10.
std::uint8_t IndividualRegister(unsigned address);

// A register box's tool tip: the register's caption, then its value field by field. Text that
// is empty or gives no byte shows the caption alone. Empty for addresses with no caption.
std::string RegisterToolTip(std::uint8_t address, std::string_view text);

}  // namespace vrq::ui
