#include "margin/register_access.h"

#include <array>

namespace vrq::margin {

bool SessionRegisters::Read(std::uint8_t first, std::span<std::uint8_t> values) {
    last_ = session_.ReadRegisters(addressByte_, first, values);
    return last_ == board::Outcome::Ok;
}

bool SessionRegisters::Write(std::uint8_t first, std::span<const std::uint8_t> values) {
    last_ = session_.WriteRegisters(addressByte_, first, values);
    return last_ == board::Outcome::Ok;
}

std::optional<LinkState> ReadLinkState(RegisterAccess& registers, bool withCounters) {
    constexpr std::uint8_t kFirst = device::kRegChannelActivity;
    constexpr std::uint8_t kLast = device::kRegErrorCount0 + device::kLinkCount - 1;
    std::array<std::uint8_t, kLast - kFirst + 1> values{};
    const std::uint8_t last = withCounters ? kLast : device::kRegTest;
    if (!registers.Read(kFirst, std::span(values).first(last - kFirst + 1))) {
        return std::nullopt;
    }
    return LinkStateFrom(values);
}

bool TurnCheckerOn(RegisterAccess& registers, const LinkState& state) {
    return registers.WriteOne(device::kRegTest,
                              static_cast<std::uint8_t>(state.test | device::kPrbsCheckerBit));
}

}  // namespace vrq::margin
