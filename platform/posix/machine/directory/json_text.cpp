#include "platform/posix/machine/directory/json_text.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "platform/posix/machine/machine.h"

namespace hostlens::sim::machinedir::json {
namespace {

// Builds the document as nlohmann's own DOM builder does, and in addition refuses
// duplicate members and deep nesting, naming the member where that happens.
class Builder {
public:
    using number_integer_t = Value::number_integer_t;
    using number_unsigned_t = Value::number_unsigned_t;
    using number_float_t = Value::number_float_t;
    using string_t = Value::string_t;
    using binary_t = Value::binary_t;

    explicit Builder(Value& root) : root_(root) {}

    bool null() { return Add(nullptr); }
    bool boolean(bool v) { return Add(v); }
    bool number_integer(number_integer_t v) { return Add(v); }
    bool number_unsigned(number_unsigned_t v) { return Add(v); }
    bool number_float(number_float_t v, const string_t&) { return Add(v); }
    bool string(string_t& v) { return Add(std::move(v)); }
    bool binary(binary_t&) { return Fail(Pointer(), "binary data is not JSON"); }

    bool start_object(std::size_t) { return Open(Value::object()); }
    bool start_array(std::size_t) { return Open(Value::array()); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }

    bool key(string_t& name) {
        Frame& top = stack_.back();
        elementMember_ = name;
        if (!top.names.insert(name).second) return Fail(Pointer(), "member given twice");
        // Append without the ordered map's own look-up, which is linear: a large object
        // would otherwise take quadratic time.
        auto& members = static_cast<Value::object_t::Container&>(top.value->get_ref<Value::object_t&>());
        members.emplace_back(std::move(name), nullptr);
        element_ = &members.back().second;
        return true;
    }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& ex) {
        syntaxPosition_ = position;
        std::string what = ex.what();
        // "[json.exception.parse_error.101] parse error at line 1, column 2: <reason>"
        std::size_t at = what.find("column ");
        std::size_t colon = at == std::string::npos ? std::string::npos : what.find(": ", at);
        syntax_ = QuoteLastRead(colon == std::string::npos ? what : what.substr(colon + 2));
        return false;
    }

    std::optional<std::size_t> syntaxPosition_;
    std::string syntax_;
    std::string failPointer_;
    std::string failReason_;

private:
    struct Frame {
        Value* value;
        std::string member;                     // the container's name or index in its parent
        std::unordered_set<std::string> names;  // of an object's members, to find duplicates
    };

    // The lexer's "last read: '<input>'" can be a whole multi-megabyte string.
    static std::string QuoteLastRead(const std::string& reason) {
        static constexpr std::string_view kLastRead = "; last read: '";
        std::size_t start = reason.find(kLastRead);
        if (start == std::string::npos) return detail::Excerpt(reason, reason.size());
        start += kLastRead.size();
        std::size_t end = reason.rfind("'; expected ");
        if (end == std::string::npos || end < start) end = reason.rfind('\'');
        if (end < start) end = reason.size();
        return reason.substr(0, start) +
               detail::Excerpt(std::string_view(reason).substr(start, end - start)) + reason.substr(end);
    }

    bool Fail(std::string pointer, std::string reason) {
        failPointer_ = std::move(pointer);
        failReason_ = std::move(reason);
        return false;
    }

    // The pointer of the next value, built only for a message: building it for every
    // member would cost time in the depth and the length of the names above it.
    std::string Pointer() const {
        std::string pointer;
        for (std::size_t i = 1; i < stack_.size(); ++i) pointer = Child(pointer, stack_[i].member);
        if (!stack_.empty()) pointer = Child(pointer, NextMember());
        return pointer;
    }

    std::string NextMember() const {
        const Frame& top = stack_.back();
        return top.value->is_array() ? std::to_string(top.value->size()) : elementMember_;
    }

    Value* Place(Value&& v) {
        if (stack_.empty()) {
            root_ = std::move(v);
            return &root_;
        }
        Frame& top = stack_.back();
        if (top.value->is_array()) {
            top.value->push_back(std::move(v));
            return &top.value->back();
        }
        *element_ = std::move(v);
        return element_;
    }

    template <class T>
    bool Add(T&& v) {
        Place(Value(std::forward<T>(v)));
        return true;
    }

    bool Open(Value&& container) {
        if (stack_.size() >= kMaxDepth)
            return Fail(Pointer(), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
        std::string member = stack_.empty() ? std::string() : NextMember();
        Value* placed = Place(std::move(container));
        stack_.push_back(Frame{placed, std::move(member), {}});
        return true;
    }

    bool Close() {
        stack_.pop_back();
        return true;
    }

    Value& root_;
    std::vector<Frame> stack_;
    Value* element_ = nullptr;
    std::string elementMember_;  // of the next value in an object
};

}  // namespace

ParseResult<Value> Parse(std::string_view text, std::string_view file) {
    ParseResult<Value> result;
    Builder builder(result.value);
    bool ok = Value::sax_parse(text.begin(), text.end(), &builder, nlohmann::detail::input_format_t::json,
                               /*strict=*/true, /*ignore_comments=*/false);
    if (ok) return result;
    ParseError error;
    error.file = std::string(file);
    if (builder.syntaxPosition_) {
        // The position counts bytes read, the offending one included.
        std::size_t offset =
            std::min(*builder.syntaxPosition_ == 0 ? 0 : *builder.syntaxPosition_ - 1, text.size());
        std::string_view before = text.substr(0, offset);
        error.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
        std::size_t lineStart = before.rfind('\n');
        std::string_view lineText = before.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
        // Columns count characters: skip UTF-8 continuation bytes.
        error.column =
            1 + static_cast<std::size_t>(std::count_if(lineText.begin(), lineText.end(), [](char c) {
                return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            }));
        error.reason = builder.syntax_;
    } else {
        error.pointer = builder.failPointer_;
        error.reason = builder.failReason_;
    }
    result.error = std::move(error);
    result.value = Value();
    return result;
}

std::string Child(const std::string& pointer, std::string_view member) {
    std::string escaped;
    for (char c : member) {
        if (c == '~') {
            escaped += "~0";
        } else if (c == '/') {
            escaped += "~1";
        } else {
            escaped += c;
        }
    }
    // A name of the file's own: quoted as input is, so that a message stays short and printable.
    return pointer + "/" + detail::Excerpt(escaped);
}

std::string Child(const std::string& pointer, std::size_t index) {
    return pointer + "/" + std::to_string(index);
}

std::u16string Utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : 4;
        if (i + n > utf8.size()) break;
        char32_t c = n == 1 ? b : b & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string KindOf(const Value& value) {
    switch (value.type()) {
        case Value::value_t::null:
            return "null";
        case Value::value_t::boolean:
            return value.get<bool>() ? "true" : "false";
        case Value::value_t::number_integer:
        case Value::value_t::number_unsigned:
        case Value::value_t::number_float:
            return "the number " + value.dump();
        case Value::value_t::string: {
            // Quoted the way JSON writes it; the excerpt keeps the quotes around what it cuts.
            std::string text = value.dump();
            return "the string \"" + detail::Excerpt(std::string_view(text).substr(1, text.size() - 2), 38) +
                   "\"";
        }
        case Value::value_t::array:
            return "an array";
        case Value::value_t::object:
            return "an object";
        default:
            return "an unsupported value";
    }
}

bool Integer(const Value& value, const std::string& pointer, std::int64_t min, std::uint64_t max,
             bool allowString, Errors& errors, std::int64_t& signedOut, std::uint64_t& unsignedOut,
             bool& negative) {
    std::string range = "an integer from " + std::to_string(min) + " to " + std::to_string(max);
    negative = false;
    if (value.is_number_unsigned()) {
        unsignedOut = value.get<std::uint64_t>();
    } else if (value.is_number_integer()) {
        signedOut = value.get<std::int64_t>();
        negative = signedOut < 0;
        if (!negative) unsignedOut = static_cast<std::uint64_t>(signedOut);
    } else if (allowString && value.is_string()) {
        // Decimal digits with an optional minus sign; nothing else.
        const std::string& text = value.get_ref<const std::string&>();
        std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
        bool digits = text.size() > start && text.size() - start <= 20 &&
                      std::all_of(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(),
                                  [](char c) { return c >= '0' && c <= '9'; });
        if (!digits) return errors.Expected(pointer, range + " (as a number or a decimal string)", value);
        // Accumulate the magnitude with an overflow check: 20 digits can exceed 2^64.
        std::uint64_t magnitude = 0;
        for (std::size_t i = start; i < text.size(); ++i) {
            auto d = static_cast<std::uint64_t>(text[i] - '0');
            if (magnitude > (UINT64_MAX - d) / 10)
                return errors.Fail(pointer, "out of range: expected " + range);
            magnitude = magnitude * 10 + d;
        }
        if (start == 1 && magnitude != 0) {
            if (magnitude > static_cast<std::uint64_t>(INT64_MAX) + 1)
                return errors.Fail(pointer, "out of range: expected " + range);
            negative = true;
            signedOut = static_cast<std::int64_t>(0 - magnitude);
        } else {
            unsignedOut = magnitude;
        }
    } else if (value.is_number_float()) {
        double d = value.get<double>();
        if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) >= 9.2e18)
            return errors.Fail(pointer, "out of range: expected " + range);
        return errors.Fail(pointer,
                           "expected " + range + " (without fraction or exponent), got " + KindOf(value));
    } else {
        return errors.Expected(pointer, allowString ? range + " (as a number or a decimal string)" : range,
                               value);
    }
    bool inRange = negative
                       ? signedOut >= min
                       : (unsignedOut <= max && (min <= 0 || unsignedOut >= static_cast<std::uint64_t>(min)));
    if (!inRange) return errors.Fail(pointer, "out of range: expected " + range + ", got " + KindOf(value));
    return true;
}

}  // namespace hostlens::sim::machinedir::json
