#include "ui/main/panel_logic.h"

#include "device/register_decoder.h"
#include "device/register_map.h"
#include "ui/main/hex_text.h"

namespace vrq::ui {

namespace {

constexpr int kBackspace = 8;
constexpr int kEnter = 13;

constexpr int kKeyPageUp = 33;
constexpr int kKeyPageDown = 34;
constexpr int kKeyLeft = 37;
constexpr int kKeyUp = 38;
constexpr int kKeyRight = 39;
constexpr int kKeyDown = 40;

constexpr std::uint8_t kLastWorkingRun = 0x0C;
constexpr std::uint8_t kStatusRegister = 0x10;

}  // namespace

void filterHexKey(int& KeyAscii) {
    if (KeyAscii >= 'a' && KeyAscii <= 'z') {
        KeyAscii = KeyAscii - 'a' + 'A';
    }
    if (KeyAscii == kBackspace || KeyAscii == kEnter) {
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
        case kKeyDown:
        case kKeyLeft:
            return -1;
        case kKeyUp:
        case kKeyRight:
            return 1;
        case kKeyPageDown:
            return -16;
        case kKeyPageUp:
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
    if ((address > kLastWorkingRun && address < kStatusRegister) || address > kStatusRegister) {
        return kStatusRegister;
    }
    return static_cast<std::uint8_t>(address);
}

std::string RegisterToolTip(std::uint8_t address, std::string_view text) {
    const device::RegisterInfo* reg = device::FindRegister(address);
    if (reg == nullptr || reg->caption.empty()) {
        return {};
    }
    std::string tip(reg->caption);
    if (text.empty() || !IsHexByteText(text)) {
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
