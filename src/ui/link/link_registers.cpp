#include "ui/link/link_registers.h"

namespace vrq::link {

bool LinkRegisters::Read(std::uint8_t first, std::span<std::uint8_t> values) {
    return link_.ReadRegisters(Address(), first, values.size(), values, quiet_) == StatusOk;
}

bool LinkRegisters::Write(std::uint8_t first, std::span<const std::uint8_t> values) {
    return link_.WriteRegisters(Address(), first, values.size(), values, quiet_) == StatusOk;
}

}  // namespace vrq::link
