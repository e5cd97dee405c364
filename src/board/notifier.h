// Listeners of a value or an event, each held by a subscription that removes it when dropped.
// A listener may subscribe or drop subscriptions (its own or others') while it is being told:
// one dropped during a notification is not called after it was dropped. The notifier may go
// before its subscriptions. Single-threaded, like everything that uses it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vrq::board {

template <class... Args>
class Notifier {
    struct Listeners {
        std::vector<std::pair<std::uint64_t, std::shared_ptr<std::function<void(Args...)>>>> all;
        std::uint64_t next = 1;
    };

  public:
    class Subscription {
      public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept { *this = std::move(other); }
        Subscription& operator=(Subscription&& other) noexcept {
            if (this != &other) {
                Reset();
                listeners_ = std::move(other.listeners_);
                id_ = std::exchange(other.id_, 0);
            }
            return *this;
        }
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription() { Reset(); }

        void Reset() {
            if (const auto listeners = listeners_.lock()) {
                std::erase_if(listeners->all,
                              [this](const auto& entry) { return entry.first == id_; });
            }
            listeners_.reset();
            id_ = 0;
        }

      private:
        friend Notifier;
        Subscription(std::weak_ptr<Listeners> listeners, std::uint64_t id)
            : listeners_(std::move(listeners)), id_(id) {}
        std::weak_ptr<Listeners> listeners_;
        std::uint64_t id_ = 0;
    };

    [[nodiscard]] Subscription Subscribe(std::function<void(Args...)> listener) {
        const std::uint64_t id = listeners_->next++;
        listeners_->all.emplace_back(
            id, std::make_shared<std::function<void(Args...)>>(std::move(listener)));
        return Subscription(listeners_, id);
    }

    void Notify(const Args&... args) const {
        if (listeners_->all.empty()) {
            return;
        }
        // The ids as they stand now; each is looked up again before it is called.
        std::vector<std::uint64_t> ids;
        ids.reserve(listeners_->all.size());
        for (const auto& entry : listeners_->all) {
            ids.push_back(entry.first);
        }
        const std::shared_ptr<Listeners> keep = listeners_;
        for (const std::uint64_t id : ids) {
            for (const auto& entry : keep->all) {
                if (entry.first == id) {
                    const auto call = entry.second;  // alive while it runs
                    (*call)(args...);
                    break;
                }
            }
        }
    }

  private:
    std::shared_ptr<Listeners> listeners_ = std::make_shared<Listeners>();
};

}  // namespace vrq::board
