#include "platform/runtime/macrolexer.h"

#include <cctype>

#include "platform/runtime/text.h"

namespace rt::macro {
namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || std::isdigit(static_cast<unsigned char>(c)); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// After one of these a "[" indexes; elsewhere it opens a string.
bool EndsOperand(Tok k) {
    switch (k) {
        case Tok::Number:
        case Tok::String:
        case Tok::Date:
        case Tok::Ident:
        case Tok::True:
        case Tok::False:
        case Tok::Nil:
        case Tok::Symbol:
        case Tok::RParen:
        case Tok::RBrace:
        case Tok::RBracket: return true;
        default: return false;
    }
}

struct DottedWord {
    const char* text;
    Tok kind;
};
constexpr DottedWord kDotted[] = {
    {".AND.", Tok::And}, {".OR.", Tok::Or},  {".NOT.", Tok::Not}, {".T.", Tok::True},
    {".F.", Tok::False}, {".Y.", Tok::True}, {".N.", Tok::False},
};

struct Punct {
    const char* text;
    Tok kind;
};
// Longest first, so that ":=" wins over ":".
constexpr Punct kPunct[] = {
    {":=", Tok::Assign},    {"+=", Tok::PlusAssign}, {"-=", Tok::MinusAssign}, {"*=", Tok::MulAssign},
    {"/=", Tok::DivAssign}, {"**", Tok::Power},      {"->", Tok::Arrow},       {"==", Tok::ExactEq},
    {"!=", Tok::NotEq},     {"<>", Tok::NotEq},      {"<=", Tok::LessEq},      {">=", Tok::GreaterEq},
    {"(", Tok::LParen},     {")", Tok::RParen},      {"{", Tok::LBrace},       {"}", Tok::RBrace},
    {"]", Tok::RBracket},   {",", Tok::Comma},       {"|", Tok::Pipe},         {":", Tok::Colon},
    {"+", Tok::Plus},       {"-", Tok::Minus},       {"*", Tok::Star},         {"/", Tok::Slash},
    {"%", Tok::Percent},    {"^", Tok::Power},       {"=", Tok::Eq},           {"<", Tok::Less},
    {">", Tok::Greater},    {"$", Tok::Dollar},      {"!", Tok::Not},
};

}  // namespace

bool Tokenize(std::string_view src, std::vector<Token>& out, size_t& faultPos, std::string& fault) {
    out.clear();
    size_t i = 0;
    auto push = [&](Tok k, std::string text, size_t start) { out.push_back(Token{k, std::move(text), start + 1}); };
    auto last = [&] { return out.empty() ? Tok::End : out.back().kind; };
    while (i < src.size()) {
        char c = src[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        size_t start = i;
        // Numbers: 12, 1.5, .5, 1e3; a date literal 0d20240315.
        if (IsDigit(c) || (c == '.' && i + 1 < src.size() && IsDigit(src[i + 1]))) {
            if (c == '0' && i + 1 < src.size() && (src[i + 1] == 'd' || src[i + 1] == 'D')) {
                size_t j = i + 2;
                while (j < src.size() && IsDigit(src[j])) ++j;
                if (j - i - 2 != 8) {
                    faultPos = start + 1;
                    fault = "a date literal needs eight digits (0dYYYYMMDD)";
                    return false;
                }
                push(Tok::Date, std::string(src.substr(i + 2, 8)), start);
                i = j;
                continue;
            }
            while (i < src.size() && IsDigit(src[i])) ++i;
            if (i < src.size() && src[i] == '.' && i + 1 < src.size() && IsDigit(src[i + 1])) {
                ++i;
                while (i < src.size() && IsDigit(src[i])) ++i;
            }
            if (i < src.size() && (src[i] == 'e' || src[i] == 'E')) {
                size_t j = i + 1;
                if (j < src.size() && (src[j] == '+' || src[j] == '-')) ++j;
                if (j < src.size() && IsDigit(src[j])) {
                    while (j < src.size() && IsDigit(src[j])) ++j;
                    i = j;
                }
            }
            push(Tok::Number, std::string(src.substr(start, i - start)), start);
            continue;
        }
        if (IsIdentStart(c)) {
            while (i < src.size() && IsIdentChar(src[i])) ++i;
            std::string word(src.substr(start, i - start));
            push(Upper(word) == "NIL" ? Tok::Nil : Tok::Ident, word, start);
            continue;
        }
        if (c == '"' || c == '\'' || (c == '[' && !EndsOperand(last()))) {
            char close = c == '[' ? ']' : c;
            size_t end = src.find(close, i + 1);
            if (end == std::string_view::npos) {
                faultPos = start + 1;
                fault = std::string("the string has no closing ") + close;
                return false;
            }
            push(Tok::String, std::string(src.substr(i + 1, end - i - 1)), start);
            i = end + 1;
            continue;
        }
        if (c == '[') {
            push(Tok::LBracket, "[", start);
            ++i;
            continue;
        }
        if (c == '.') {
            bool matched = false;
            for (const DottedWord& w : kDotted) {
                std::string_view t(w.text);
                if (src.size() - i >= t.size() && Upper(src.substr(i, t.size())) == t) {
                    push(w.kind, std::string(t), start);
                    i += t.size();
                    matched = true;
                    break;
                }
            }
            if (matched) continue;
            faultPos = start + 1;
            fault = "unexpected '.'";
            return false;
        }
        // A symbol literal: # directly followed by a name where an operand
        // may start; elsewhere # is "not equal".
        if (c == '#' && !EndsOperand(last()) && i + 1 < src.size() && IsIdentStart(src[i + 1])) {
            size_t j = i + 1;
            while (j < src.size() && IsIdentChar(src[j])) ++j;
            push(Tok::Symbol, std::string(src.substr(i + 1, j - i - 1)), start);
            i = j;
            continue;
        }
        if (c == '#') {
            push(Tok::NotEq, "#", start);
            ++i;
            continue;
        }
        bool matched = false;
        for (const Punct& p : kPunct) {
            std::string_view t(p.text);
            if (src.substr(i, t.size()) == t) {
                push(p.kind, std::string(t), start);
                i += t.size();
                matched = true;
                break;
            }
        }
        if (matched) continue;
        faultPos = start + 1;
        fault = std::string("unexpected character '") + c + "'";
        return false;
    }
    push(Tok::End, "", src.size());
    return true;
}

std::string Describe(const Token& t) {
    switch (t.kind) {
        case Tok::End: return "end of text";
        case Tok::String: return "string \"" + t.text + "\"";
        case Tok::Number: return "number " + t.text;
        case Tok::Ident: return "name " + t.text;
        default: return "'" + t.text + "'";
    }
}

}  // namespace rt::macro
