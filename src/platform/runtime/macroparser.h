// The parser of the expression language: recursive descent from tokens to
// the tree of macroast.h. Precedence, lowest first: assignment (:= += -= *=
// /=, right to left), .OR., .AND., .NOT. / !, comparisons (= == != <> # <
// <= > >= $), + -, * / %, unary - +, ** ^ (right to left), then calls,
// [index], :member and ALIAS->NAME.
#pragma once

#include <string>
#include <string_view>

#include "platform/runtime/macro.h"
#include "platform/runtime/macroast.h"

namespace rt::macro {

struct ParseResult {
    NodePtr root;             // the expression list, or the block literal
    bool wholeBlock = false;  // the text is one block literal: root makes it
    bool ok = false;
    size_t faultPos = 0;  // 1-based
    std::string fault;    // what is wrong there
};

// Parses the text. Names that are neither block parameters nor session
// variables existing now are bound through `fields` when it knows them.
ParseResult Parse(std::string_view text, const FieldLookup& fields);

}  // namespace rt::macro
