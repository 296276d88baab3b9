// Splits WQL text into tokens. Keywords are recognised without case; string constants
// take single or double quotes, and a backslash makes the next character literal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/com/wmi/number.h"

namespace hostlens::sim::wmi {

enum class TokenKind {
    Identifier,
    String,
    Number,  // unsigned; a sign is a separate token
    Comma,
    Star,
    LeftParen,
    RightParen,
    Minus,
    Plus,
    Equal,         // =
    NotEqual,      // <> or !=
    Less,          // <
    Greater,       // >
    LessEqual,     // <=
    GreaterEqual,  // >=
    Select,
    From,
    Where,
    And,
    Or,
    Not,
    Is,
    Null,
    Like,
    True,
    False,
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::u16string text;     // identifier as written, or the string constant's value
    UnsignedNumber number;   // for Number
    std::size_t offset = 0;  // in the query, for messages
};

struct LexResult {
    std::vector<Token> tokens;  // ends with an End token when `error` is empty
    std::string error;
};

LexResult LexWql(std::u16string_view query);

}  // namespace hostlens::sim::wmi
