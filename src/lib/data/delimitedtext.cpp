#include "lib/data/delimitedtext.h"

#include "platform/runtime/text.h"

namespace lib {

std::vector<std::string> SplitDelimited(std::string_view line, std::string_view delim, const NextLine& more) {
    std::vector<std::string> fields;
    std::string buf(line);  // grows when a quoted field spans lines
    constexpr auto npos = std::string::npos;
    size_t i = 0;
    for (;;) {
        size_t j = buf.find_first_not_of(' ', i);
        size_t end;  // where the text after the field's value ends: the delimiter or npos
        if (j != npos && buf[j] == '"') {
            std::string value;
            size_t k = j + 1;
            for (;;) {
                if (k >= buf.size()) {
                    std::string next;
                    if (!more || !more(next)) break;
                    buf += next;
                    continue;
                }
                if (buf[k] != '"') {
                    size_t q = buf.find('"', k);
                    size_t stop = q == npos ? buf.size() : q;
                    value.append(buf, k, stop - k);
                    k = stop;
                    continue;
                }
                if (k + 1 < buf.size() && buf[k + 1] == '"') {
                    value += '"';
                    k += 2;
                    continue;
                }
                ++k;  // the closing quote
                break;
            }
            end = delim.empty() ? npos : buf.find(delim, k);
            if (k < buf.size()) value += rt::AllTrim(std::string_view(buf).substr(k, end == npos ? npos : end - k));
            fields.push_back(std::move(value));
        } else {
            end = delim.empty() ? npos : buf.find(delim, i);
            fields.push_back(rt::AllTrim(std::string_view(buf).substr(i, end == npos ? npos : end - i)));
        }
        if (end == npos) return fields;
        i = end + delim.size();
    }
}

void AppendDelimitedField(std::string& out, std::string_view text, std::string_view delim, bool blanksMatter) {
    // With a delimiter of several characters the field's end and the
    // delimiter after it may hold the delimiter earlier ("a:" before "::").
    bool quote = text.find_first_of("\"\r\n") != std::string_view::npos ||
                 (!delim.empty() && (std::string(text) + std::string(delim)).find(delim) != text.size()) ||
                 (blanksMatter && !text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace lib
