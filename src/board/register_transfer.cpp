#include "board/register_transfer.h"

namespace vrq::board {

std::optional<RegisterTransfer> RegisterTransferOf(const Exchange& exchange) {
    const Report& request = exchange.request;
    if (exchange.kind != Exchange::Kind::Request || request[off::kCommand] != CommandI2C ||
        exchange.outcome == Outcome::NotWritten || exchange.outcome == Outcome::Refused) {
        return std::nullopt;
    }
    RegisterTransfer transfer;
    const std::uint8_t address = request[off::kAddress];
    transfer.read = (address & 1U) != 0;
    transfer.addressByte = static_cast<std::uint8_t>(address & ~1U);
    transfer.first = request[off::kFirstRegister];
    transfer.count = request[off::kCount];
    const std::size_t max = transfer.read ? kMaxReadCount : kMaxWriteCount;
    if (transfer.count < 1 || static_cast<std::size_t>(transfer.count) > max) {
        return std::nullopt;  // the board refuses it: nothing reached the chip
    }
    const auto count = static_cast<std::size_t>(transfer.count);
    transfer.done = exchange.outcome == Outcome::Ok && !exchange.outOfStep;
    transfer.uncertain = exchange.outcome == Outcome::NoAnswer ||
                         exchange.outcome == Outcome::BoardGone ||
                         (exchange.outcome == Outcome::Ok && exchange.outOfStep);
    if (!transfer.read) {
        transfer.values = std::span(request).subspan(off::kWriteData, count);
    } else if (transfer.done && exchange.hasAnswer) {
        transfer.values = std::span(exchange.answer).subspan(off::kReadData, count);
    }
    return transfer;
}

}  // namespace vrq::board
