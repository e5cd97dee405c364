#include "ui/main/hex_text.h"

#include "board/hex.h"

namespace vrq::ui {

QString HexText(std::uint8_t value) {
    return QString::fromStdString(board::ByteToHex(value));
}

std::optional<std::uint8_t> ParseBoxByte(std::string_view text) {
    const unsigned value = board::ParseHexText(text);
    if (value > 0xFF) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

bool IsRegisterBoxText(std::string_view text) {
    return text.empty() || board::IsHexByteText(text);
}

}  // namespace vrq::ui
