#pragma once

#include <functional>
#include <string>

#include "board/board_session.h"

namespace vrq::board {

// "Firmware Version 1.2 - 2008/March/15": major and minor from the version byte's nibbles, no
// zero padding. monthName gives the name of months 1..12; a month outside that range (a
// board's answer is not checked) shows as its number rather than failing, and the year is
// always shown with as many digits as it has.
std::string FirmwareVersionText(const FirmwareVersion& fw,
                                const std::function<std::string(int)>& monthName);

// English month names, for places without a user locale (the command-line tool).
std::string EnglishMonthName(int month);

}  // namespace vrq::board
