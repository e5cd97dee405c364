#include "ui/main/access_word.h"

namespace vrq::ui {

namespace {
// ASCII only: the word is plain letters, and no other character may turn into one of them.
char16_t Lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}
}  // namespace

AccessWordMatcher::AccessWordMatcher(std::u16string_view word) {
    for (char16_t c : word) {
        word_.push_back(Lower(c));
    }
}

bool AccessWordMatcher::Append(char16_t character) {
    if (word_.empty()) {
        return false;
    }
    tail_.push_back(Lower(character));
    if (tail_.size() > word_.size()) {
        tail_.erase(0, tail_.size() - word_.size());
    }
    return tail_ == word_;
}

}  // namespace vrq::ui
