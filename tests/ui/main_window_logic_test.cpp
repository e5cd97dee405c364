// The main window's plain logic: the clock list, the access word, the key codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "ui/main/access_word.h"
#include "ui/main/clock_list.h"

namespace vrq::ui {
namespace {

struct ClockCase {
    const char* name;
    int baseMHz;
    int current;
    std::size_t entries;
    std::optional<std::size_t> selected;
    // Entries to look at: index, text, divider.
    std::vector<std::tuple<std::size_t, std::string, int>> shown;
};
void PrintTo(const ClockCase& c, std::ostream* out) {
    *out << c.name;
}

class ClockListCase : public ::testing::TestWithParam<ClockCase> {};

// One entry per divider from 255 down whose integer kHz is above 99, equal texts kept apart;
// the divider in force selected when listed.
TEST_P(ClockListCase, ListsTheDividersFrom100KilohertzUp) {
    const ClockCase& c = GetParam();
    const ClockList list =
        BuildClockList(static_cast<std::uint8_t>(c.baseMHz), static_cast<std::uint8_t>(c.current));
    ASSERT_EQ(list.entries.size(), c.entries);
    EXPECT_EQ(list.selected, c.selected);
    for (const auto& [index, text, divider] : c.shown) {
        EXPECT_EQ(list.entries[index].text, text) << index;
        EXPECT_EQ(list.entries[index].divider, divider) << index;
    }
    EXPECT_TRUE(std::none_of(list.entries.begin(), list.entries.end(),
                             [](const ClockEntry& e) { return e.divider == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    ClockList, ClockListCase,
    ::testing::Values(ClockCase{"TwelveMegahertzWithDivider120",
                                12,
                                120,
                                120,
                                0,
                                {{0, "100", 120},
                                 {1, "100", 119},
                                 {2, "101", 118},
                                 {118, "6000", 2},
                                 {119, "12000", 1}}},
                      ClockCase{"DividerBelow100kHzSelectsNothing", 12, 200, 120, std::nullopt, {}},
                      ClockCase{"NoDividerZero", 12, 0, 120, std::nullopt, {}},
                      ClockCase{"SelectsInsideTheList", 1, 5, 10, 5, {{5, "200", 5}}},
                      ClockCase{"BaseZeroIsEmpty", 0, 120, 0, std::nullopt, {}},
                      // Every base byte works, and no divider above 255 is offered.
                      ClockCase{"Base40StartsAt255", 40, 255, 255, 0, {{0, "156", 255}}},
                      ClockCase{
                          "Base255", 255, 1, 255, 254, {{0, "1000", 255}, {254, "255000", 1}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AccessWord, MatchesTheLastFourCharactersInAnyCase) {
    AccessWordMatcher lower;
    EXPECT_FALSE(lower.Append(u'q'));
    EXPECT_FALSE(lower.Append(u'z'));
    EXPECT_FALSE(lower.Append(u'v'));
    EXPECT_TRUE(lower.Append(u'k'));
    EXPECT_FALSE(lower.Append(u'k'));  // only while the text ends in the word

    AccessWordMatcher capitals;
    for (char16_t c : std::u16string_view(u"abcQZV")) {
        EXPECT_FALSE(capitals.Append(c));
    }
    EXPECT_TRUE(capitals.Append(u'K'));

    AccessWordMatcher almost;
    for (char16_t c : std::u16string_view(u"qzvqzv\u212A")) {  // Kelvin sign, not a k
        EXPECT_FALSE(almost.Append(c));
    }
}

}  // namespace
}  // namespace vrq::ui
