#include "ui/main/panel_logic.h"

#include "board/hex.h"
#include "device/register_decoder.h"
#include "device/register_map.h"
#include "ui/main/hex_text.h"
#include "ui/main/vb_keys.h"

namespace vrq::ui {

namespace {

// The frame reaches the working set only: 0x00..0x0C, then 0x10 for any other address.
constexpr std::uint8_t kLastOfFirstRun = device::kWorkingSetRuns[0].last;
constexpr std::uint8_t kLoneRegister = device::kWorkingSetRuns[1].first;

}  // namespace

void filterHexKey(int& KeyAscii) {
    if (KeyAscii >= 'a' && KeyAscii <= 'z') {
        KeyAscii = KeyAscii - 'a' + 'A';
    }
    if (KeyAscii == vk::kBackspace || KeyAscii == vk::kReturn) {
        return;
    }
    const bool digit = KeyAscii >= '0' && KeyAscii <= '9';
    const bool letter = KeyAscii >= 'A' && KeyAscii <= 'F';
    if (!digit && !letter) {
        KeyAscii = 0;
    }
}

std::optional<std::int16_t> StepForKey(int KeyCode) {
    switch (KeyCode) {
        case vk::kDown:
        case vk::kLeft:
            return -1;
        case vk::kUp:
        case vk::kRight:
            return 1;
        case vk::kPageDown:
            return -16;
        case vk::kPageUp:
            return 16;
        default:
            return std::nullopt;
    }
}

bool KeyUpStopsForModifiers(int Shift) {
    return Shift >= 1 && Shift <= 3;
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
