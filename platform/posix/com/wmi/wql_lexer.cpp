#include "platform/posix/com/wmi/wql_lexer.h"

#include <array>
#include <cstdio>
#include <utility>

#include "platform/posix/machine/machine.h"

namespace hostlens::sim::wmi {
namespace {

bool IsNameStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80;
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool IsNamePart(char16_t c) {
    return IsNameStart(c) || IsDigit(c);
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}

TokenKind KeywordOrIdentifier(std::u16string_view word) {
    static const std::array<std::pair<std::u16string_view, TokenKind>, 11> keywords{{
        {u"SELECT", TokenKind::Select},
        {u"FROM", TokenKind::From},
        {u"WHERE", TokenKind::Where},
        {u"AND", TokenKind::And},
        {u"OR", TokenKind::Or},
        {u"NOT", TokenKind::Not},
        {u"IS", TokenKind::Is},
        {u"NULL", TokenKind::Null},
        {u"LIKE", TokenKind::Like},
        {u"TRUE", TokenKind::True},
        {u"FALSE", TokenKind::False},
    }};
    for (const auto& [keyword, kind] : keywords)
        if (detail::CompareNoCase(word, keyword) == 0) return kind;
    return TokenKind::Identifier;
}

std::string At(std::size_t offset) {
    return " at offset " + std::to_string(offset);
}

}  // namespace

LexResult LexWql(std::u16string_view query) {
    LexResult result;
    std::size_t i = 0;
    auto fail = [&](std::string message) {
        result.tokens.clear();
        result.error = std::move(message);
        return result;
    };
    while (true) {
        while (i < query.size() && IsSpace(query[i])) ++i;
        Token token;
        token.offset = i;
        if (i == query.size()) {
            result.tokens.push_back(std::move(token));
            return result;
        }
        char16_t c = query[i];
        char16_t next = i + 1 < query.size() ? query[i + 1] : u'\0';
        if (IsNameStart(c)) {
            std::size_t start = i;
            while (i < query.size() && IsNamePart(query[i])) ++i;
            token.text = query.substr(start, i - start);
            token.kind = KeywordOrIdentifier(token.text);
        } else if (IsDigit(c) || (c == u'.' && IsDigit(next))) {
            // The whole run of name characters and dots is one number, so that "12abc"
            // and "1.2.3" are errors rather than two tokens.
            std::size_t start = i;
            bool hex = c == u'0' && (next == u'x' || next == u'X');
            while (i < query.size()) {
                char16_t d = query[i];
                bool exponentSign =
                    !hex && (d == u'+' || d == u'-') && (query[i - 1] == u'e' || query[i - 1] == u'E');
                if (!IsNamePart(d) && d != u'.' && !exponentSign) break;
                ++i;
            }
            auto number = ParseUnsignedNumber(query.substr(start, i - start));
            if (!number) {
                std::string message = "\"";  // appended: GCC 12 warns wrongly (-Wrestrict) about "\"" + ...
                message += detail::Excerpt(query.substr(start, i - start));
                return fail(message + "\" is not a number" + At(start));
            }
            token.kind = TokenKind::Number;
            token.number = *number;
        } else if (c == u'\'' || c == u'"') {
            ++i;
            bool closed = false;
            while (i < query.size()) {
                char16_t d = query[i++];
                if (d == c) {
                    closed = true;
                    break;
                }
                if (d == u'\\') {
                    if (i == query.size()) break;
                    d = query[i++];
                }
                token.text += d;
            }
            if (!closed) return fail("unterminated string" + At(token.offset));
            token.kind = TokenKind::String;
        } else {
            ++i;
            switch (c) {
                case u',':
                    token.kind = TokenKind::Comma;
                    break;
                case u'*':
                    token.kind = TokenKind::Star;
                    break;
                case u'(':
                    token.kind = TokenKind::LeftParen;
                    break;
                case u')':
                    token.kind = TokenKind::RightParen;
                    break;
                case u'-':
                    token.kind = TokenKind::Minus;
                    break;
                case u'+':
                    token.kind = TokenKind::Plus;
                    break;
                case u'=':
                    token.kind = TokenKind::Equal;
                    break;
                case u'<':
                    token.kind = TokenKind::Less;
                    if (next == u'=')
                        token.kind = TokenKind::LessEqual, ++i;
                    else if (next == u'>')
                        token.kind = TokenKind::NotEqual, ++i;
                    break;
                case u'>':
                    token.kind = TokenKind::Greater;
                    if (next == u'=') token.kind = TokenKind::GreaterEqual, ++i;
                    break;
                case u'!':
                    if (next != u'=') return fail("unexpected '!'" + At(token.offset));
                    token.kind = TokenKind::NotEqual;
                    ++i;
                    break;
                default: {
                    char code[8];
                    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(c));
                    return fail(std::string("unexpected character U+") + code + At(token.offset));
                }
            }
        }
        result.tokens.push_back(std::move(token));
    }
}

}  // namespace hostlens::sim::wmi
