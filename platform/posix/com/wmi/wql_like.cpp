#include "platform/posix/com/wmi/wql_like.h"

namespace hostlens::sim::wmi {
namespace {

// The same folding as the layer's case-insensitive comparisons: ASCII and Latin-1.
char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
}

char16_t Lower(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}

}  // namespace

std::optional<LikePattern> LikePattern::Compile(std::u16string_view pattern) {
    LikePattern compiled;
    std::size_t i = 0;
    while (i < pattern.size()) {
        char16_t c = pattern[i++];
        Element element;
        if (c == u'%') {
            // A run of '%' is one '%'; the matcher relies on it.
            if (!compiled.elements_.empty() && compiled.elements_.back().kind == Kind::Any) continue;
            element.kind = Kind::Any;
        } else if (c == u'_') {
            element.kind = Kind::One;
        } else if (c == u'[') {
            element.kind = Kind::Set;
            if (i < pattern.size() && pattern[i] == u'^') element.negate = true, ++i;
            element.firstRange = compiled.ranges_.size();
            bool first = true;  // a ']' right after the opening is a member
            bool closed = false;
            while (i < pattern.size()) {
                char16_t low = pattern[i++];
                if (low == u']' && !first) {
                    closed = true;
                    break;
                }
                first = false;
                char16_t high = low;
                if (i + 1 < pattern.size() && pattern[i] == u'-' && pattern[i + 1] != u']') {
                    high = pattern[i + 1];
                    i += 2;
                }
                compiled.ranges_.emplace_back(low, high);
            }
            if (!closed) return std::nullopt;
            element.rangeCount = compiled.ranges_.size() - element.firstRange;
        } else {
            element.kind = Kind::Char;
            element.ch = Upper(c);
        }
        compiled.elements_.push_back(element);
    }
    return compiled;
}

bool LikePattern::MatchesOne(const Element& element, char16_t c) const {
    switch (element.kind) {
        case Kind::Char:
            return Upper(c) == element.ch;
        case Kind::One:
            return true;
        case Kind::Any:
            return false;
        case Kind::Set:
            break;
    }
    bool inSet = false;
    char16_t forms[3] = {c, Upper(c), Lower(c)};
    for (std::size_t r = element.firstRange; !inSet && r < element.firstRange + element.rangeCount; ++r)
        for (char16_t form : forms) inSet = inSet || (form >= ranges_[r].first && form <= ranges_[r].second);
    return inSet != element.negate;
}

bool LikePattern::Matches(std::u16string_view text) const {
    // Every element but '%' takes exactly one character, so remembering only the last
    // '%' is enough: retrying from it with one more character covers every earlier '%'.
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starElement = elements_.size();  // none yet
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < elements_.size() && elements_[p].kind == Kind::Any) {
            starElement = p++;
            starText = t;
        } else if (p < elements_.size() && MatchesOne(elements_[p], text[t])) {
            ++p;
            ++t;
        } else if (starElement < elements_.size()) {
            p = starElement + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < elements_.size() && elements_[p].kind == Kind::Any) ++p;
    return p == elements_.size();
}

}  // namespace hostlens::sim::wmi
