#include "board/exchange_hub.h"

#include <algorithm>
#include <array>

namespace vrq::board {

void ExchangeHub::Add(ExchangeObserver* observer) {
    if (!Attached(observer)) {
        observers_.push_back(observer);
    }
}

void ExchangeHub::Remove(ExchangeObserver* observer) {
    std::erase(observers_, observer);
}

bool ExchangeHub::Attached(const ExchangeObserver* observer) const {
    return std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
}

template <typename Call>
void ExchangeHub::ForEach(Call&& call) {
    // An observer may remove itself or another (a window that closes): walk a copy, kept on
    // the stack for the few observers there are, so an exchange costs no allocation, and skip
    // any that has left meanwhile.
    constexpr std::size_t kOnStack = 8;
    if (observers_.size() <= kOnStack) {
        std::array<ExchangeObserver*, kOnStack> now{};
        const std::size_t n = observers_.size();
        std::copy(observers_.begin(), observers_.end(), now.begin());
        for (std::size_t i = 0; i < n; ++i) {
            if (Attached(now[i])) {
                call(*now[i]);
            }
        }
        return;
    }
    const std::vector<ExchangeObserver*> now = observers_;
    for (ExchangeObserver* observer : now) {
        if (Attached(observer)) {
            call(*observer);
        }
    }
}

void ExchangeHub::OnExchange(const Exchange& exchange) {
    ForEach([&](ExchangeObserver& observer) { observer.OnExchange(exchange); });
}

void ExchangeHub::OnBoardClosed(int board) {
    ForEach([&](ExchangeObserver& observer) { observer.OnBoardClosed(board); });
}

}  // namespace vrq::board
