// Where every exchange with the program's boards goes, whoever makes it: the sessions report to
// the hub, and the hub hands each exchange to every observer attached (the model of what is
// known of each chip, the margin engine's counter tap, the bus trace). The hub must outlive
// the sessions that report to it; an observer removes itself before it goes (ScopedObserver).
#pragma once

#include <vector>

#include "board/board_session.h"

namespace vrq::board {

class ExchangeHub : public ExchangeObserver {
  public:
    ExchangeHub() = default;
    ExchangeHub(const ExchangeHub&) = delete;
    ExchangeHub& operator=(const ExchangeHub&) = delete;

    // An observer added twice is told once.
    void Add(ExchangeObserver* observer);
    void Remove(ExchangeObserver* observer);
    std::size_t Observers() const { return observers_.size(); }

    // Reports a session to the hub under the tag exchanges of that board carry.
    void Attach(BoardSession& session, int board) { session.SetObserver(this, board); }

    void OnExchange(const Exchange& exchange) override;
    void OnBoardClosed(int board) override;

  private:
    bool Attached(const ExchangeObserver* observer) const;
    template <typename Call>
    void ForEach(Call&& call);
    std::vector<ExchangeObserver*> observers_;
};

// An observer attached to a hub for the lifetime of this object.
class ScopedObserver {
  public:
    ScopedObserver(ExchangeHub& hub, ExchangeObserver& observer) : hub_(hub), observer_(observer) {
        hub_.Add(&observer_);
    }
    ~ScopedObserver() { hub_.Remove(&observer_); }
    ScopedObserver(const ScopedObserver&) = delete;
    ScopedObserver& operator=(const ScopedObserver&) = delete;

  private:
    ExchangeHub& hub_;
    ExchangeObserver& observer_;
};

}  // namespace vrq::board
