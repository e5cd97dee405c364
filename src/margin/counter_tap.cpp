#include "margin/counter_tap.h"

#include <algorithm>

#include "board/register_transfer.h"

namespace vrq::margin {

void CounterTap::Watch(int board, std::uint8_t addressByte) {
    if (board != board_ || addressByte != addressByte_) {
        checker_ = CheckerState::Unknown;
    }
    board_ = board;
    addressByte_ = addressByte;
}

void CounterTap::AddListener(CounterListener* listener) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
        listeners_.push_back(listener);
    }
}

void CounterTap::RemoveListener(CounterListener* listener) {
    std::erase(listeners_, listener);
}

void CounterTap::OnExchange(const board::Exchange& exchange) {
    if (exchange.board != board_) {
        return;
    }
    const auto transfer = board::RegisterTransferOf(exchange);
    if (!transfer || transfer->addressByte != addressByte_) {
        return;
    }
    // A write the chip may have taken counts; a read only with its values.
    const bool tookPlace = transfer->done || (!transfer->read && transfer->uncertain);
    if (transfer->Covers(device::kRegTest) && !transfer->values.empty() && tookPlace) {
        const std::uint8_t test = transfer->values[device::kRegTest - transfer->first];
        checker_ = (test & device::kPrbsCheckerBit) != 0 ? CheckerState::On : CheckerState::Off;
    }
    if (!transfer->read && tookPlace && transfer->first <= device::kRegTest &&
        transfer->first + transfer->count > device::kRegChannelSelect) {
        const LinkWrite write{exchange.start, transfer->first, transfer->count};
        const std::vector<CounterListener*> now = listeners_;
        for (CounterListener* listener : now) {
            listener->OnWrite(write);
        }
    }
    if (!transfer->read || !(transfer->done || transfer->uncertain)) {
        return;  // a write, or a read the chip did not acknowledge: nothing was cleared
    }
    CounterReading reading;
    reading.at = exchange.start;
    reading.lost = !transfer->done;
    reading.checker = checker_;
    bool any = false;
    for (int link = 0; link < device::kLinkCount; ++link) {
        const auto reg = static_cast<std::uint8_t>(device::kRegErrorCount0 + link);
        const auto i = static_cast<std::size_t>(link);
        reading.covered[i] = transfer->Covers(reg);
        any = any || reading.covered[i];
        if (reading.covered[i] && transfer->done) {
            reading.counts[i] = transfer->values[reg - transfer->first];
        }
    }
    if (!any) {
        return;
    }
    if (transfer->done && transfer->Covers(device::kRegChannelActivity) &&
        transfer->Covers(device::kRegTest)) {
        reading.state = LinkStateFrom(transfer->values.subspan(
            static_cast<std::size_t>(device::kRegChannelActivity - transfer->first)));
    }
    // A copy: a listener may leave the list while it hears this.
    const std::vector<CounterListener*> now = listeners_;
    for (CounterListener* listener : now) {
        listener->OnReading(reading);
    }
}

}  // namespace vrq::margin
