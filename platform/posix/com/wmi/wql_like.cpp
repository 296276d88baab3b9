#include "platform/posix/com/wmi/wql_like.h"

#include <algorithm>
#include <utility>

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

// The characters one element of a pattern takes, as sorted, disjoint ranges.
using Ranges = std::vector<std::pair<char16_t, char16_t>>;
constexpr char16_t kLast = 0xFFFF;

Ranges Merged(Ranges ranges) {
    std::sort(ranges.begin(), ranges.end());
    Ranges out;
    for (const auto& range : ranges) {
        if (!out.empty() && range.first <= out.back().second + 1u)
            out.back().second = std::max(out.back().second, range.second);
        else
            out.push_back(range);
    }
    return out;
}

Ranges Complement(const Ranges& ranges) {
    Ranges out;
    char32_t next = 0;
    for (const auto& [low, high] : ranges) {
        if (low > next) out.emplace_back(static_cast<char16_t>(next), static_cast<char16_t>(low - 1));
        next = char32_t{high} + 1;
    }
    if (next <= kLast) out.emplace_back(static_cast<char16_t>(next), kLast);
    return out;
}

// A character matches itself in either case.
Ranges CharRanges(char16_t c) {
    char16_t upper = Upper(c);
    char16_t lower = Lower(upper);
    return lower == upper ? Ranges{{upper, upper}} : Merged({{upper, upper}, {lower, lower}});
}

// A set takes a character when the character, its upper or its lower case form is in
// one of the ranges written. Case only folds within Latin-1: above it, a character
// is in the set exactly when it is in a range.
Ranges SetRanges(const Ranges& written, bool negate) {
    Ranges out;
    auto in = [&](char16_t c) {
        return std::any_of(written.begin(), written.end(),
                           [c](const auto& range) { return c >= range.first && c <= range.second; });
    };
    for (char16_t c = 0; c <= 0xFF; ++c)
        if (in(c) || in(Upper(c)) || in(Lower(c))) out.emplace_back(c, c);
    for (const auto& [low, high] : written)
        if (high > 0xFF) out.emplace_back(std::max<char16_t>(low, 0x100), high);
    out = Merged(std::move(out));
    return negate ? Complement(out) : out;
}

void SetBit(std::uint64_t* words, std::size_t bit) {
    words[bit / 64] |= std::uint64_t{1} << (bit % 64);
}

}  // namespace

std::optional<LikePattern> LikePattern::Compile(std::u16string_view pattern) {
    if (pattern.size() > kMaxLikePattern) return std::nullopt;
    // Each element: nothing for '%', else the characters it takes.
    std::vector<std::optional<Ranges>> elements;
    std::size_t i = 0;
    while (i < pattern.size()) {
        char16_t c = pattern[i++];
        if (c == u'%') {
            // A run of '%' is one '%': the matcher relies on it.
            if (elements.empty() || elements.back()) elements.emplace_back();
        } else if (c == u'_') {
            elements.emplace_back(Ranges{{0, kLast}});
        } else if (c == u'[') {
            bool negate = i < pattern.size() && pattern[i] == u'^';
            if (negate) ++i;
            Ranges written;
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
                if (low <= high) written.emplace_back(low, high);  // "[z-a]" takes nothing
            }
            if (!closed) return std::nullopt;
            elements.emplace_back(SetRanges(written, negate));
        } else {
            elements.emplace_back(CharRanges(c));
        }
    }

    LikePattern compiled;
    compiled.places_ = elements.size();
    compiled.words_ = (elements.size() + 1 + 63) / 64;
    compiled.anyAt_.assign(compiled.words_, 0);
    compiled.loops_.assign(compiled.words_, 0);
    // Classes: the characters between two consecutive range boundaries of any element
    // are taken by the same elements.
    std::vector<char16_t>& starts = compiled.classStart_;
    starts.push_back(0);
    for (const auto& element : elements) {
        if (!element) continue;
        for (const auto& [low, high] : *element) {
            starts.push_back(low);
            if (high < kLast) starts.push_back(static_cast<char16_t>(high + 1));
        }
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    compiled.moves_.assign(starts.size() * compiled.words_, 0);
    auto classIndex = [&](char16_t c) {
        return static_cast<std::size_t>(std::lower_bound(starts.begin(), starts.end(), c) - starts.begin());
    };
    for (std::size_t j = 0; j < elements.size(); ++j) {
        if (!elements[j]) {
            compiled.hasAny_ = true;
            SetBit(compiled.anyAt_.data(), j);
            SetBit(compiled.loops_.data(), j + 1);
            continue;
        }
        for (const auto& [low, high] : *elements[j]) {
            std::size_t end = high == kLast ? starts.size() : classIndex(static_cast<char16_t>(high + 1));
            for (std::size_t k = classIndex(low); k < end; ++k)
                SetBit(&compiled.moves_[k * compiled.words_], j + 1);
        }
    }
    compiled.latin1Class_.resize(0x100);
    for (std::size_t c = 0; c < 0x100; ++c)
        compiled.latin1Class_[c] = static_cast<std::uint16_t>(
            std::upper_bound(starts.begin(), starts.end(), static_cast<char16_t>(c)) - starts.begin() - 1);
    return compiled;
}

std::size_t LikePattern::ClassOf(char16_t c) const {
    if (c < 0x100) return latin1Class_[c];
    return static_cast<std::size_t>(std::upper_bound(classStart_.begin(), classStart_.end(), c) -
                                    classStart_.begin() - 1);
}

// A state before a '%' is also the state after it: '%' may match nothing. Runs of '%'
// are one element, so one step reaches every such state.
void LikePattern::Close(States& states) const {
    if (!hasAny_) return;
    std::uint64_t carry = 0;
    for (std::size_t w = 0; w < words_; ++w) {
        std::uint64_t at = states[w] & anyAt_[w];
        states[w] |= (at << 1) | carry;
        carry = at >> 63;
    }
}

bool LikePattern::Matches(std::u16string_view text) const {
    if (classStart_.empty()) return text.empty();  // never compiled: the empty pattern
    States states{};
    states[0] = 1;
    Close(states);
    const std::size_t last = places_;
    const bool endsInAny = places_ > 0 && (loops_[last / 64] >> (last % 64) & 1);
    for (char16_t c : text) {
        const std::uint64_t* moves = &moves_[ClassOf(c) * words_];
        std::uint64_t carry = 0;
        std::uint64_t any = 0;
        for (std::size_t w = 0; w < words_; ++w) {
            std::uint64_t current = states[w];
            states[w] = (((current << 1) | carry) & moves[w]) | (current & loops_[w]);
            carry = current >> 63;
            any |= states[w];
        }
        if (any == 0) return false;
        Close(states);
        // A pattern ending in '%' that has matched up to it matches whatever follows.
        if (endsInAny && (states[last / 64] >> (last % 64) & 1)) return true;
    }
    return states[last / 64] >> (last % 64) & 1;
}

}  // namespace hostlens::sim::wmi
