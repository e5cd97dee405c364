// Subscriptions end with their holder, even while a notification is going on, and may outlive
// the notifier.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "board/notifier.h"

namespace vrq::test {
namespace {

TEST(Notifier, AListenerDroppedDuringANotificationIsNotCalledAfterwards) {
    auto notifier = std::make_unique<board::Notifier<int>>();
    std::vector<int> heard;
    board::Notifier<int>::Subscription second;
    auto first = notifier->Subscribe([&](int v) {
        heard.push_back(v);
        second.Reset();  // a view that closes another
    });
    second = notifier->Subscribe([&](int v) { heard.push_back(-v); });
    notifier->Notify(1);
    EXPECT_EQ(heard, std::vector<int>{1});

    {
        auto scoped = notifier->Subscribe([&](int v) { heard.push_back(10 * v); });
        notifier->Notify(2);
    }
    notifier->Notify(3);
    EXPECT_EQ(heard, (std::vector<int>{1, 2, 20, 3}));
    notifier.reset();
    first.Reset();  // after the notifier: nothing to remove, nothing touched
}

}  // namespace
}  // namespace vrq::test
