#include "device/known_chips.h"

#include <vector>

#include "board/register_transfer.h"
#include "device/link_registers.h"
#include "device/register_map.h"

namespace vrq::device {
namespace {

// Registers the chip clears when they are read.
bool ClearedByRead(unsigned reg) {
    return reg >= kRegErrorCount0 && reg < kRegErrorCount0 + kLinkCount;
}

}  // namespace

KnownValue KnownChips::Get(const ChipKey& chip, std::uint8_t reg) const {
    const auto it = chips_.find(chip);
    return it == chips_.end() ? KnownValue{} : it->second[reg];
}

void KnownChips::Set(const ChipKey& chip, std::uint8_t reg, KnownValue known) {
    chips_[chip][reg] = known;
    changes_.Notify(chip, reg, known);
}

void KnownChips::OnExchange(const board::Exchange& exchange) {
    const auto transfer = board::RegisterTransferOf(exchange);
    if (!transfer) {
        return;
    }
    const ChipKey chip{exchange.board, static_cast<std::uint8_t>(transfer->addressByte >> 1)};
    for (int i = 0; i < transfer->count; ++i) {
        const auto reg = static_cast<std::uint8_t>(transfer->first + i);
        KnownValue known{Provenance::Unknown, 0, exchange.start};
        if (transfer->read) {
            if (transfer->done) {
                known = {Provenance::Read, transfer->values[static_cast<std::size_t>(i)],
                         exchange.start};
            } else if (!transfer->uncertain || !ClearedByRead(reg)) {
                continue;  // not acknowledged, or a read that changes nothing
            }
        } else if (IsReadOnly(reg)) {
            continue;  // the chip keeps its own value whatever is written
        } else if (transfer->done) {
            known = {Provenance::Written, transfer->values[static_cast<std::size_t>(i)],
                     exchange.start};
        }
        Set(chip, reg, known);
    }
}

void KnownChips::OnBoardClosed(int board) {
    std::vector<ChipKey> forgotten;
    for (const auto& [chip, values] : chips_) {
        if (chip.board == board) {
            forgotten.push_back(chip);
        }
    }
    for (const ChipKey& chip : forgotten) {
        const std::array<KnownValue, kRegisters> was = chips_[chip];
        chips_.erase(chip);
        for (int reg = 0; reg < kRegisters; ++reg) {
            if (was[static_cast<std::size_t>(reg)].source != Provenance::Never) {
                changes_.Notify(chip, static_cast<std::uint8_t>(reg), KnownValue{});
            }
        }
    }
}

}  // namespace vrq::device
