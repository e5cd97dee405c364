// The link-margin tools' register access through the window's board link, with its
// Retry/Cancel policy.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "margin/register_access.h"
#include "ui/link/board_link.h"

namespace vrq::link {

// The chip at the link's I2CAddress as it is at each transfer, or at a fixed address byte (8-bit
// write form), on the link's current board. A failure has shown its message (a device error
// only when not quiet); Cancel in it ends the program.
class LinkRegisters : public margin::RegisterAccess {
  public:
    explicit LinkRegisters(BoardLink& link, bool quiet = false,
                           std::optional<std::uint8_t> address = std::nullopt)
        : link_(link), quiet_(quiet), address_(address) {}
    bool Read(std::uint8_t first, std::span<std::uint8_t> values) override;
    bool Write(std::uint8_t first, std::span<const std::uint8_t> values) override;

  private:
    std::uint8_t Address() const { return address_.value_or(link_.I2CAddress()); }

    BoardLink& link_;
    bool quiet_;
    std::optional<std::uint8_t> address_;
};

}  // namespace vrq::link
