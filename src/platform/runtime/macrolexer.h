// The lexer of the expression language: turns text into tokens, each with
// the 1-based position of its first character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rt::macro {

enum class Tok {
    End,
    Number,  // text: the digits as written
    String,  // text: the contents without the quotes
    Date,    // text: "YYYYMMDD"
    Ident,   // text: as written
    True,
    False,
    Nil,
    Symbol,  // #NAME; text: the name
    LParen,
    RParen,
    LBrace,
    RBrace,
    LBracket,
    RBracket,
    Comma,
    Pipe,
    Colon,
    Arrow,  // , | : ->
    Assign,
    PlusAssign,
    MinusAssign,
    MulAssign,
    DivAssign,  // := += -= *= /=
    Plus,
    Minus,
    Star,
    Slash,
    Percent,
    Power,  // + - * / % ** ^
    Eq,
    ExactEq,
    NotEq,
    Less,
    LessEq,
    Greater,
    GreaterEq,
    Dollar,
    And,
    Or,
    Not,
};

struct Token {
    Tok kind = Tok::End;
    std::string text;
    size_t pos = 1;  // 1-based position in the source text
};

// Splits the text into tokens ending with Tok::End. On a fault returns false
// with the position and a description of what is wrong.
bool Tokenize(std::string_view src, std::vector<Token>& out, size_t& faultPos, std::string& fault);

// How a token is written, for messages ("')'", "end of text").
std::string Describe(const Token& t);

}  // namespace rt::macro
