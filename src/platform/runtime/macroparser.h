// The parser of the expression language: recursive descent from tokens to
// the tree of macroast.h. Runs of one precedence level are read in a loop
// into one Chain node; nesting (parentheses, calls, unary operators, the
// right-associative ones) is what recurses, and is bounded. Precedence, lowest first: assignment (:= += -= *=
// /=, right to left), .OR., .AND., .NOT. / !, comparisons (= == != <> # <
// <= > >= $), + -, * / %, unary - +, ** ^ (right to left), then calls,
// [index], :member and ALIAS->NAME.
#pragma once

#include <string>
#include <string_view>

#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/macroast.h"

namespace rt::macro {

struct ParseResult {
    NodePtr root;             // the expression list, or the block literal
    bool wholeBlock = false;  // the text is one block literal: root makes it
    bool ok = false;
    size_t faultPos = 0;  // 1-based
    std::string fault;    // what is wrong there
    // The error's general code: a syntax error, or "Operation too complex"
    // for nesting beyond the bounds, or "Numeric overflow" for a number
    // beyond the range of numbers.
    uint32_t faultCode = kGenSyntax;
};

// Parses the text. Names that are neither block parameters nor session
// variables existing now are bound through `fields` when it knows them.
ParseResult Parse(std::string_view text, const FieldLookup& fields);

}  // namespace rt::macro
