// The system watch takes the board's IDs from the HID device's HID_ID property.
#include <gtest/gtest.h>

#include "board/udev_watch.h"

namespace vrq::test {
namespace {

TEST(HidIdProperty, GivesVendorAndProductOrNothing) {
    const auto board = board::ParseHidId("0003:00001209:00006208");
    ASSERT_TRUE(board.has_value());
    EXPECT_EQ(board->vendorId, 0x1209);
    EXPECT_EQ(board->productId, 0x6208);
    for (const char* bad : {"", "0003", "0003:00001209", "0003:1209:", "zz:1209:6208",
                            "0003:00011209:6208", "0003:1209:6208x", ":1209:6208"}) {
        EXPECT_FALSE(board::ParseHidId(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace vrq::test
