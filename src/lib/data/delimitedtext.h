// Fields of delimited text (CSV and the like): reading a line into its
// fields and writing a field so that reading gives it back. Quotes follow
// the common convention: a field may be enclosed in double quotes, inside
// which the delimiter and line ends are text and a doubled quote stands for
// one quote.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lib {

// Gives the line end that ended the line before (CR LF or LF, as in the
// file) followed by the next line into its argument; false at the end.
using NextLine = std::function<bool(std::string&)>;

// The fields of one record, which starts with `line`. Unquoted fields come
// back with the blanks around them removed; quoted ones exactly as written
// between the quotes (text after the closing quote, up to the delimiter, is
// added trimmed). A quoted field still open at the line end goes on with
// the line end and the line `more` gives; at the end of the file it ends
// there. Quoted and unquoted fields may mix on any line.
std::vector<std::string> SplitDelimited(std::string_view line, std::string_view delim, const NextLine& more);

// Appends the field to `out`, quoted when reading it back would otherwise
// change it: it holds a quote, a line end or the delimiter, or `blanksMatter`
// says that its outer blanks (which an unquoted read removes) are data.
void AppendDelimitedField(std::string& out, std::string_view text, std::string_view delim, bool blanksMatter);

}  // namespace lib
