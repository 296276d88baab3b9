// WMI's LIKE: '%' matches any run of characters, '_' exactly one, "[abc]", "[a-z]" and
// "[^a]" one character of (or not of) a set; everything else matches itself without
// case. "[%]" matches a literal percent sign.
#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace hostlens::sim::wmi {

class LikePattern {
public:
    // Nothing when a '[' is never closed.
    static std::optional<LikePattern> Compile(std::u16string_view pattern);

    // Time grows with text length times pattern length at worst; no recursion and no
    // memory beyond the pattern.
    bool Matches(std::u16string_view text) const;

private:
    enum class Kind { Char, One, Any, Set };
    struct Element {
        Kind kind = Kind::Char;
        char16_t ch = 0;  // for Char, folded
        bool negate = false;
        std::size_t firstRange = 0;  // ranges_[firstRange, firstRange + rangeCount)
        std::size_t rangeCount = 0;
    };
    bool MatchesOne(const Element& element, char16_t c) const;

    std::vector<Element> elements_;
    std::vector<std::pair<char16_t, char16_t>> ranges_;
};

}  // namespace hostlens::sim::wmi
