#include "board/firmware_text.h"

#include <array>

namespace vrq::board {

std::string FirmwareVersionText(const FirmwareVersion& fw,
                                const std::function<std::string(int)>& monthName) {
    const int major = fw.version >> 4;
    const int minor = fw.version & 0x0F;
    std::string month;
    if (fw.month >= 1 && fw.month <= 12) {
        month = monthName(fw.month);
    }
    if (month.empty()) {
        month = std::to_string(fw.month);
    }
    return "Firmware Version " + std::to_string(major) + "." + std::to_string(minor) + " - " +
           std::to_string(fw.year) + "/" + month + "/" + std::to_string(fw.day);
}

std::string EnglishMonthName(int month) {
    static constexpr std::array<const char*, 12> kNames = {
        "January", "February", "March",     "April",   "May",      "June",
        "July",    "August",   "September", "October", "November", "December"};
    if (month < 1 || month > 12) {
        return {};
    }
    return kNames[static_cast<std::size_t>(month - 1)];
}

}  // namespace vrq::board
