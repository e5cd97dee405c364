#include "ui/main/panel_logic.h"

#include "board/hex.h"
#include "device/register_decoder.h"
#include "device/register_map.h"
#include "ui/main/hex_text.h"

namespace vrq::ui {

namespace {

// The frame reaches the working set only: 0x00..0x0C, then 0x10 for any other address.
constexpr std::uint8_t kLastOfFirstRun = device::kWorkingSetRuns[0].last;
constexpr std::uint8_t kLoneRegister = device::kWorkingSetRuns[1].first;

}  // namespace

void filterHexKey(char16_t& character) {
    if (character >= u'a' && character <= u'z') {
        character = static_cast<char16_t>(character - u'a' + u'A');
    }
    if (character == u'\b' || character == u'\r') {
        return;
    }
    const bool digit = character >= u'0' && character <= u'9';
    const bool letter = character >= u'A' && character <= u'F';
    if (!digit && !letter) {
        character = 0;
    }
}

std::optional<std::int16_t> StepForKey(Qt::Key key) {
    switch (key) {
        case Qt::Key_Down:
        case Qt::Key_Left:
            return -1;
        case Qt::Key_Up:
        case Qt::Key_Right:
            return 1;
        case Qt::Key_PageDown:
            return -16;
        case Qt::Key_PageUp:
            return 16;
        default:
            return std::nullopt;
    }
}

bool KeyUpStopsForModifiers(Qt::KeyboardModifiers modifiers) {
    return (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)) != 0 &&
           !modifiers.testFlag(Qt::AltModifier);
}

std::uint8_t ToggleValue(int pressedIndex, std::uint8_t value0, std::uint8_t value1,
                         std::uint8_t current) {
    const std::uint8_t own = pressedIndex == 0 ? value0 : value1;
    const std::uint8_t other = pressedIndex == 0 ? value1 : value0;
    return current == own ? other : own;
}

std::uint8_t IndividualRegister(unsigned address) {
    if ((address > kLastOfFirstRun && address < kLoneRegister) || address > kLoneRegister) {
        return kLoneRegister;
    }
    return static_cast<std::uint8_t>(address);
}

std::string RegisterToolTip(std::uint8_t address, std::string_view text) {
    const device::RegisterInfo* reg = device::FindRegister(address);
    if (reg == nullptr || reg->caption.empty()) {
        return {};
    }
    std::string tip(reg->caption);
    if (text.empty() || !board::IsHexByteText(text)) {
        return tip;
    }
    const std::string fields = device::DescribeRegister(address, *ParseBoxByte(text));
    if (!fields.empty()) {
        tip += '\n';
        tip += fields;
    }
    return tip;
}

}  // namespace vrq::ui
