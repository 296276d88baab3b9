#include "platform/posix/com/wmi/wql_parser.h"

#include <optional>

#include "platform/posix/com/wmi/wql_lexer.h"

namespace hostlens::sim::wmi {
namespace {

struct ParseError {
    std::string message;
};

std::optional<CompareOp> CompareOpOf(TokenKind kind) {
    switch (kind) {
        case TokenKind::Equal:
            return CompareOp::Equal;
        case TokenKind::NotEqual:
            return CompareOp::NotEqual;
        case TokenKind::Less:
            return CompareOp::Less;
        case TokenKind::Greater:
            return CompareOp::Greater;
        case TokenKind::LessEqual:
            return CompareOp::LessEqual;
        case TokenKind::GreaterEqual:
            return CompareOp::GreaterEqual;
        default:
            return std::nullopt;
    }
}

// "5 < Prop" is "Prop > 5".
CompareOp Mirror(CompareOp op) {
    switch (op) {
        case CompareOp::Less:
            return CompareOp::Greater;
        case CompareOp::Greater:
            return CompareOp::Less;
        case CompareOp::LessEqual:
            return CompareOp::GreaterEqual;
        case CompareOp::GreaterEqual:
            return CompareOp::LessEqual;
        default:
            return op;
    }
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    WqlQuery Parse() {
        WqlQuery query;
        Expect(TokenKind::Select, "SELECT");
        if (Accept(TokenKind::Star)) {
            query.allProperties = true;
        } else {
            do query.properties.push_back(Expect(TokenKind::Identifier, "a property name").text);
            while (Accept(TokenKind::Comma));
        }
        Expect(TokenKind::From, "FROM");
        query.className = Expect(TokenKind::Identifier, "a class name").text;
        if (Accept(TokenKind::Where)) ParseCondition(query.where);
        if (Peek().kind != TokenKind::End) Fail("unexpected text after the query");
        return query;
    }

private:
    // Shunting-yard over AND, OR, NOT and parentheses: NOT binds tightest, then AND,
    // then OR; AND and OR group from the left.
    enum class Pending { LeftParen, Not, And, Or };

    static int Precedence(Pending op) {
        switch (op) {
            case Pending::Not:
                return 3;
            case Pending::And:
                return 2;
            case Pending::Or:
                return 1;
            default:
                return 0;
        }
    }

    static WqlStep::Kind StepOf(Pending op) {
        switch (op) {
            case Pending::Not:
                return WqlStep::Kind::Not;
            case Pending::And:
                return WqlStep::Kind::And;
            default:
                return WqlStep::Kind::Or;
        }
    }

    void ParseCondition(std::vector<WqlStep>& out) {
        std::vector<Pending> pending;
        std::size_t nesting = 0;
        auto emit = [&](Pending op) {
            WqlStep step;
            step.kind = StepOf(op);
            out.push_back(std::move(step));
        };
        auto open = [&](Pending op) {
            if (++nesting > kMaxWqlNesting) Fail("the condition is nested too deeply");
            pending.push_back(op);
        };
        bool expectOperand = true;
        while (true) {
            if (expectOperand) {
                if (Accept(TokenKind::LeftParen)) {
                    open(Pending::LeftParen);
                } else if (Accept(TokenKind::Not)) {
                    open(Pending::Not);
                } else {
                    out.push_back(ParsePredicate());
                    expectOperand = false;
                }
                continue;
            }
            TokenKind kind = Peek().kind;
            if (kind == TokenKind::RightParen) {
                Next();
                while (!pending.empty() && pending.back() != Pending::LeftParen) {
                    if (pending.back() == Pending::Not) --nesting;
                    emit(pending.back());
                    pending.pop_back();
                }
                if (pending.empty()) Fail("unbalanced ')'");
                pending.pop_back();
                --nesting;
            } else if (kind == TokenKind::And || kind == TokenKind::Or) {
                Next();
                Pending op = kind == TokenKind::And ? Pending::And : Pending::Or;
                while (!pending.empty() && Precedence(pending.back()) >= Precedence(op)) {
                    if (pending.back() == Pending::Not) --nesting;
                    emit(pending.back());
                    pending.pop_back();
                }
                pending.push_back(op);
                expectOperand = true;
            } else {
                break;
            }
        }
        while (!pending.empty()) {
            if (pending.back() == Pending::LeftParen) Fail("missing ')'");
            emit(pending.back());
            pending.pop_back();
        }
    }

    // property op constant | constant op property | property op property |
    // property IS [NOT] NULL | property [NOT] LIKE 'pattern'
    WqlStep ParsePredicate() {
        WqlStep step;
        if (Peek().kind != TokenKind::Identifier) {
            WmiValue left = ParseConstant();
            auto op = CompareOpOf(Next().kind);
            if (!op) Fail("expected a comparison after a constant", Previous());
            step.property = Expect(TokenKind::Identifier, "a property name to compare a constant with").text;
            step.op = Mirror(*op);
            step.constant = std::move(left);
            return step;
        }
        step.property = Next().text;
        const Token& token = Next();
        if (token.kind == TokenKind::Is) {
            step.kind = Accept(TokenKind::Not) ? WqlStep::Kind::IsNotNull : WqlStep::Kind::IsNull;
            Expect(TokenKind::Null, "NULL after IS");
            return step;
        }
        if (token.kind == TokenKind::Like || token.kind == TokenKind::Not) {
            step.kind = WqlStep::Kind::Like;
            if (token.kind == TokenKind::Not) {
                Expect(TokenKind::Like, "LIKE after NOT");
                step.kind = WqlStep::Kind::NotLike;
            }
            const Token& pattern = Expect(TokenKind::String, "a string pattern after LIKE");
            if (pattern.text.size() > kMaxLikePattern)
                Fail("the LIKE pattern is longer than " + std::to_string(kMaxLikePattern) + " characters",
                     pattern);
            auto compiled = LikePattern::Compile(pattern.text);
            if (!compiled) Fail("the LIKE pattern has a '[' without ']'", pattern);
            step.pattern = std::move(*compiled);
            return step;
        }
        auto op = CompareOpOf(token.kind);
        if (!op) Fail("expected a comparison, IS or LIKE after a property name", token);
        step.op = *op;
        if (Peek().kind == TokenKind::Identifier)
            step.otherProperty = Next().text;
        else
            step.constant = ParseConstant();
        return step;
    }

    WmiValue ParseConstant() {
        const Token& token = Next();
        switch (token.kind) {
            case TokenKind::String:
                return token.text;
            case TokenKind::True:
                return true;
            case TokenKind::False:
                return false;
            case TokenKind::Null:
                return std::monostate{};
            case TokenKind::Number:
                return *SignedNumber(token.number, false);
            case TokenKind::Minus:
            case TokenKind::Plus: {
                const Token& number = Expect(TokenKind::Number, "a number after a sign");
                auto value = SignedNumber(number.number, token.kind == TokenKind::Minus);
                if (!value) Fail("the number is out of range", number);
                return *value;
            }
            default:
                Fail("expected a constant", token);
        }
    }

    const Token& Peek() const { return tokens_[position_]; }
    const Token& Previous() const { return tokens_[position_ - 1]; }
    const Token& Next() {
        const Token& token = tokens_[position_];
        if (token.kind != TokenKind::End) ++position_;
        return token;
    }
    bool Accept(TokenKind kind) {
        if (Peek().kind != kind) return false;
        Next();
        return true;
    }
    const Token& Expect(TokenKind kind, const char* what) {
        if (Peek().kind != kind) Fail(std::string("expected ") + what, Peek());
        return Next();
    }
    [[noreturn]] void Fail(const std::string& message) { Fail(message, Peek()); }
    [[noreturn]] void Fail(const std::string& message, const Token& at) {
        throw ParseError{message + " at offset " + std::to_string(at.offset)};
    }

    std::vector<Token> tokens_;
    std::size_t position_ = 0;
};

}  // namespace

std::variant<WqlQuery, std::string> ParseWql(std::u16string_view text) {
    if (text.size() > kMaxWqlLength)
        return "the query is longer than " + std::to_string(kMaxWqlLength) + " characters";
    LexResult lexed = LexWql(text);
    if (!lexed.error.empty()) return lexed.error;
    try {
        return Parser(std::move(lexed.tokens)).Parse();
    } catch (const ParseError& error) {
        return error.message;
    }
}

}  // namespace hostlens::sim::wmi
