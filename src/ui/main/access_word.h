// The word that reveals the test tabs when typed on the tab strip. Only the last characters
// typed count, in any letter case, with anything before them and any pause between them.
#pragma once

#include <string>
#include <string_view>

namespace vrq::ui {

inline constexpr std::u16string_view kAccessWord = u"qzvk";

class AccessWordMatcher {
  public:
    explicit AccessWordMatcher(std::u16string_view word = kAccessWord);

    // Appends one typed character; true when the characters typed so far end in the word.
    bool Append(char16_t character);

  private:
    std::u16string word_;
    std::u16string tail_;  // the last word_.size() characters typed, lower-cased
};

}  // namespace vrq::ui
