// Reading the machine directory's JSON files: the document with its members in file
// order, and the helpers that check members against a schema and name the offending
// member by its JSON pointer. Internal to the machine-directory parsers.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/machine/directory/parse_error.h"

namespace hostlens::sim::machinedir::json {

// Members in file order, so that errors come in the order a reader meets them.
using Value = nlohmann::ordered_json;

// Parses standard JSON (UTF-8, an optional byte-order mark). Syntax errors carry
// line and column; a member given twice in one object is an error too (JSON leaves
// it open, and silently keeping one of them hides mistakes); so is nesting deeper
// than kMaxDepth.
constexpr std::size_t kMaxDepth = 64;
ParseResult<Value> Parse(std::string_view text, std::string_view file);

// "/a/b" + "c~d" -> "/a/b/c~0d" (RFC 6901 escaping); the member is quoted as input
// is in messages (detail::Excerpt): cut short, control characters spelled out.
std::string Child(const std::string& pointer, std::string_view member);
std::string Child(const std::string& pointer, std::size_t index);

// JSON strings are valid UTF-8 (the parser checks); Windows wants UTF-16.
std::u16string Utf16(std::string_view utf8);

// "a string", "a number", ... for "expected X, got Y" messages.
std::string KindOf(const Value& value);

// The collector of the first error of a document.
class Errors {
public:
    explicit Errors(std::string file) : file_(std::move(file)) {}

    // Records the error (the first one wins) and returns false, so readers can
    // `return errors.Fail(...)`.
    bool Fail(const std::string& pointer, std::string reason) {
        if (error_) return false;
        error_ = ParseError{};
        error_->file = file_;
        error_->pointer = pointer;
        error_->reason = std::move(reason);
        return false;
    }
    bool Expected(const std::string& pointer, std::string_view what, const Value& got) {
        return Fail(pointer, "expected " + std::string(what) + ", got " + KindOf(got));
    }
    std::optional<ParseError>& Error() { return error_; }

private:
    std::string file_;
    std::optional<ParseError> error_;
};

// An integer within [min, max], given as a JSON integer (no fraction, no exponent)
// or, when `allowString`, as a decimal string (for 64-bit values that some JSON
// writers cannot hold in a number).
bool Integer(const Value& value, const std::string& pointer, std::int64_t min, std::uint64_t max,
             bool allowString, Errors& errors, std::int64_t& signedOut, std::uint64_t& unsignedOut,
             bool& negative);

template <class T>
bool Integer(const Value& value, const std::string& pointer, Errors& errors, T& out,
             T min = std::numeric_limits<T>::min(), T max = std::numeric_limits<T>::max(),
             bool allowString = false) {
    std::int64_t s = 0;
    std::uint64_t u = 0;
    bool negative = false;
    if (!Integer(value, pointer, static_cast<std::int64_t>(min), static_cast<std::uint64_t>(max), allowString,
                 errors, s, u, negative))
        return false;
    out = negative ? static_cast<T>(s) : static_cast<T>(u);
    return true;
}

}  // namespace hostlens::sim::machinedir::json
