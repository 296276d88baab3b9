// WMI's LIKE: '%' matches any run of characters, '_' exactly one, "[abc]", "[a-z]" and
// "[^a]" one character of (or not of) a set; everything else matches itself without
// case. "[%]" matches a literal percent sign.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace hostlens::sim::wmi {

// Longest LIKE pattern, in characters (a set's members count one each). The matcher
// keeps, for every group of characters that the pattern tells apart, which of its
// places such a character can fill: a table that grows with the square of the
// pattern's length. Real patterns are a few dozen characters long.
inline constexpr std::size_t kMaxLikePattern = 512;

class LikePattern {
public:
    // Nothing when a '[' is never closed or the pattern is longer than kMaxLikePattern.
    // Time and memory grow with the square of the pattern's length, at worst.
    static std::optional<LikePattern> Compile(std::u16string_view pattern);

    // Time is linear in the text's length, whatever the pattern: the text is read once,
    // and every place of the pattern that the text read so far can have reached is
    // followed at once, one bit each, as a set of states.
    bool Matches(std::u16string_view text) const;

private:
    static constexpr std::size_t kMaxWords = (kMaxLikePattern + 1 + 63) / 64;
    using States = std::uint64_t[kMaxWords];

    std::size_t ClassOf(char16_t c) const;
    void Close(States& states) const;

    std::size_t places_ = 0;  // the pattern's elements; state j: the first j are matched
    std::size_t words_ = 1;   // of 64 states each
    // Characters fall into classes: [classStart_[k], classStart_[k + 1]) is class k.
    // Latin-1 characters are looked up directly, the others by binary search.
    std::vector<char16_t> classStart_;
    std::vector<std::uint16_t> latin1Class_;
    // Per class, the states a character of it can move to: bit j + 1 when element j
    // takes the character. `words_` words per class.
    std::vector<std::uint64_t> moves_;
    std::vector<std::uint64_t> anyAt_;  // bit j: element j is '%' (state j also counts as j + 1)
    std::vector<std::uint64_t> loops_;  // bit j + 1: element j is '%' (any character keeps it)
    bool hasAny_ = false;
};

}  // namespace hostlens::sim::wmi
