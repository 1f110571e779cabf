// ArrayServer imports and exports: tables, delimited text and fixed-width
// (SDF) text. Files are read and written in blocks, a line at a time, so a
// large file is never held in memory as a whole.
#include <cerrno>
#include <cstring>
#include <functional>

#include "lib/data/arrayserver.h"
#include "lib/data/delimitedtext.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/error.h"
#include "platform/runtime/files.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

namespace lib {

using rt::Usual;

namespace {

// Reads a file line by line through a block buffer; line ends (CR LF or
// LF) are removed, and Break() tells which one ended the line given last.
// Lines of any length come back whole.
class LineReader {
public:
    explicit LineReader(int handle) : h_(handle), buf_(1 << 16) {}
    bool Next(std::string& line) {
        line.clear();
        for (;;) {
            if (pos_ == len_) {
                len_ = rt::FRead(h_, buf_.data(), buf_.size());
                pos_ = 0;
                if (len_ == 0) {
                    if (line.empty() && !partial_) return false;
                    partial_ = false;
                    cr_ = StripCr(line);
                    return true;
                }
            }
            const char* start = buf_.data() + pos_;
            const void* nl = std::memchr(start, '\n', len_ - pos_);
            if (nl) {
                size_t n = static_cast<const char*>(nl) - start;
                line.append(start, n);
                pos_ += n + 1;
                partial_ = false;
                cr_ = StripCr(line);
                return true;
            }
            line.append(start, len_ - pos_);
            partial_ = true;
            pos_ = len_;
        }
    }

    // The line end removed from the line given last: a quoted field that
    // runs on over it keeps it as it was in the file.
    const char* Break() const { return cr_ ? "\r\n" : "\n"; }

private:
    static bool StripCr(std::string& s) {
        if (s.empty() || s.back() != '\r') return false;
        s.pop_back();
        return true;
    }
    int h_;
    std::vector<char> buf_;
    size_t pos_ = 0, len_ = 0;
    bool partial_ = false;
    bool cr_ = false;
};

// Runs an import or export step under an error block that leaves to a
// recovery scope, so that any runtime failure ends it; answers whether it
// ran to its end and keeps the failure's Error in `failure` (NIL when it
// ran through). The previous error block is always restored.
bool Protected(const std::function<void()>& body, Usual& failure) {
    Usual previous =
        rt::ErrorBlock(Usual::Block([](rt::Args a) -> Usual { rt::LabelJump(a.empty() ? Usual() : a[0]); }));
    failure = Usual();
    bool ok = rt::BeginSequence(body, [&failure](const Usual& why) { failure = why; });
    rt::ErrorBlock(previous);
    return ok;
}

// Runs a step with an error block that answers every failure with its
// default: a table that cannot be opened is then simply not in use.
void Quietly(const std::function<void()>& step) {
    Usual previous = rt::ErrorBlock(Usual::Block([](rt::Args) { return Usual(false); }));
    step();
    rt::ErrorBlock(previous);
}

rt::ErrorRef MakeFailure(uint32_t genCode, const std::string& what) {
    auto e = rt::MakeError(genCode, "ARRAYSERVER");
    e->Description = what;
    return e;
}

[[noreturn]] void Fail(const std::string& what) {
    auto e = MakeFailure(rt::kGenDataWidth, what);
    rt::RaiseError(e);
    rt::LabelJump(Usual(e));
}

}  // namespace

void ArrayServer::AddRow(Usual row) {
    rows_.AAdd(std::move(row));
    deleted_.push_back(false);
}

void ArrayServer::EndImport() {
    SyncCount();
    recno_ = count_;
    if (count_ > 0) {
        eof_ = bof_ = false;
        LoadRow();
    }
}

// Opens a text file for an import and hands each non-empty line to
// `parse`, which answers the row to add (and may take further lines for a
// record that spans them); the end state, the notifications and the file
// are settled whether or not a failure ended the loop.
bool ArrayServer::ImportLines(const Usual& file, const std::function<Usual(std::string&, const NextLine&)>& parse) {
    status_ = Usual();
    int h = rt::FOpen(file.AsStr(), rt::kFoRead | rt::kFoDenyNone);
    if (h < 0) return true;
    if (rt::FSeek(h, 0, 2) <= 0) {
        rt::FClose(h);
        return true;
    }
    rt::FSeek(h, 0, 0);
    Notify(rdd::kNotifyIntentToMove);
    bool ok;
    {
        Quiet quiet(*this);
        ok = Protected(
            [&] {
                LineReader reader(h);
                NextLine more = [&reader](std::string& next) {
                    std::string brk = reader.Break();
                    if (!reader.Next(next)) return false;
                    next.insert(0, brk);
                    return true;
                };
                std::string line;
                while (reader.Next(line))
                    if (!line.empty()) AddRow(parse(line, more));
            },
            status_);
        EndImport();
    }
    Notify(rdd::kNotifyFileChange);
    rt::FClose(h);
    return ok;
}

// The value of a field's text in an import; a value the export could not
// write back (a number too wide for its field, a line end in fixed-width
// text) ends the import with its reason rather than being kept.
Usual ArrayServer::ImportValue(const std::string& text, size_t pos, bool fixedWidth) const {
    const auto field = static_cast<int64_t>(pos);
    Usual value = String2Usual(Usual(text), Usual(field));
    if (!FitsField(value, field, fixedWidth))
        Fail("the value of " + FieldName(Usual(field)) + " does not fit its field: " + text.substr(0, 80));
    return value;
}

// Quoted and unquoted fields are read on every line (docs/library-data.md);
// every field, the last one too, is converted by STRING2USUAL.
bool ArrayServer::AppendDelimited(const Usual& file, const Usual& delimiter) {
    const std::string delim = delimiter.IsString() && !delimiter.AsStr().empty() ? delimiter.AsStr() : ",";
    const size_t nfields = struct_.ALen();
    return ImportLines(file, [&](std::string& line, const NextLine& more) {
        std::vector<std::string> texts = SplitDelimited(line, delim, more);
        if (texts.size() > nfields) Fail("a line has more fields than the structure: " + line.substr(0, 80));
        Usual row = EmptyRow();
        auto& cells = *row.AsArray();
        for (size_t i = 0; i < texts.size(); ++i) cells[i] = ImportValue(texts[i], i + 1, false);
        return row;
    });
}

// Fields are cut at their widths; character and memo fields keep their
// leading blanks (data, written as such), the others are trimmed.
bool ArrayServer::AppendSDF(const Usual& file) {
    return ImportLines(file, [&](std::string& line, const NextLine&) {
        Usual row = EmptyRow();
        auto& cells = *row.AsArray();
        std::string_view rest(line);
        for (size_t i = 1; i <= fields_.size() && i <= cells.size(); ++i) {
            const rdd::FieldSpec* fieldSpec = FieldSpecOf(static_cast<int64_t>(i));
            size_t len = static_cast<size_t>(std::max<int64_t>(fieldSpec->Length(), 0));
            const std::string& t = fieldSpec->ValType();
            std::string_view piece = rest.substr(0, len);
            std::string text = t == "C" || t == "M" ? rt::RTrim(piece) : rt::AllTrim(piece);
            cells[i - 1] = ImportValue(text, i, true);
            rest.remove_prefix(std::min(len, rest.size()));
            if (rest.empty()) break;
        }
        return row;
    });
}

bool ArrayServer::AppendDB(const Usual& source) {
    status_ = Usual();
    std::shared_ptr<rdd::DBServer> db = std::dynamic_pointer_cast<rdd::DBServer>(source.AsObject());
    bool opened = false;
    if (!db) {
        Quietly([&] { db = rt::New<rdd::DBServer>(source, Usual(true), Usual(true)); });
        opened = true;
    }
    if (!db || !db->Used()) return true;
    Notify(rdd::kNotifyIntentToMove);
    bool ok;
    {
        Quiet quiet(*this);
        ok = Protected(
            [&] {
                std::vector<int64_t> positions;
                for (const auto& field : fields_) positions.push_back(db->FieldPos(Usual(rt::Symbol(field->Name()))));
                db->GoTop();
                while (!db->Eof()) {
                    std::vector<Usual> row(positions.size());
                    for (size_t i = 0; i < positions.size(); ++i)
                        if (positions[i] > 0) row[i] = db->FieldGet(Usual(positions[i]));
                    AddRow(Usual::Array(std::move(row)));
                    db->Skip(Usual(1));
                }
            },
            status_);
        EndImport();
    }
    Notify(rdd::kNotifyFileChange);
    if (opened) db->Close();
    return ok;
}

bool ArrayServer::CopyDB(const Usual& target) {
    status_ = Usual();
    std::shared_ptr<rdd::DBServer> db = std::dynamic_pointer_cast<rdd::DBServer>(target.AsObject());
    bool opened = false;
    if (!db) {
        Quietly([&] {
            std::string name = target.AsStr();
            if (!rt::File(rdd::TablePath(name, false))) rdd::DBCreate(name, struct_);
            db = rt::New<rdd::DBServer>(target, Usual(false), Usual(false));
        });
        opened = true;
    }
    if (!db || !db->Used()) return true;
    Notify(rdd::kNotifyIntentToMove);
    bool ok;
    {
        Quiet quiet(*this);
        WriteBack();
        ok = Protected(
            [&] {
                std::vector<int64_t> positions;
                for (const auto& field : fields_) positions.push_back(db->FieldPos(Usual(rt::Symbol(field->Name()))));
                for (size_t r = 1; r <= rows_.ALen(); ++r) {
                    const Usual& row = rows_.At(r);
                    if (!db->Append()) Fail("the table refused a new record");
                    for (size_t i = 0; i < positions.size(); ++i)
                        if (positions[i] > 0 && i < row.ALen()) db->FieldPut(Usual(positions[i]), row.At(i + 1));
                }
                // One commit at the end: each record is written as the next is
                // appended, and the commit makes them all durable at once.
                db->Commit();
            },
            status_);
    }
    Notify(rdd::kNotifyFileChange);
    if (opened) db->Close();
    return ok;
}

// Writes every row (all rows, in row-array order) as text: delimited, with
// fields quoted where reading them back needs it, or fixed-width. The
// content replaces the file whole through the file layer, so a shorter
// export leaves nothing of the old one, and a crash leaves the old or the
// new content. FALSE, with the file untouched, when the file cannot be
// written (a missing folder, held by another, read-only) or a value cannot
// be written so that it reads back (a number too wide for its field, a text
// longer than its field, a value of another type).
bool ArrayServer::ExportText(const Usual& file, const std::string& delim, bool fixedWidth) {
    const std::string name = file.AsStr();
    auto unwritable = [&](int err) {
        status_ = Usual(MakeFailure(rt::kGenWrite, "unable to write " + name + ": " + std::strerror(err)));
        return false;
    };
    status_ = Usual();
    int osError = 0;
    const std::string native = rt::FilePath(name, true, &osError);
    if (native.empty()) return unwritable(ENOENT);
    if (rt::File(name)) {
        // Another handle that holds the file with a share mode keeps it.
        int probe = rt::FOpen(name, rt::kFoReadWrite | rt::kFoExclusive);
        if (probe < 0) return unwritable(EACCES);
        rt::FClose(probe);
    }
    Notify(rdd::kNotifyIntentToMove);
    bool ok;
    {
        Quiet quiet(*this);
        WriteBack();
        std::string out;
        ok = Protected(
            [&] {
                const size_t n = struct_.ALen();
                for (size_t r = 1; r <= rows_.ALen(); ++r) {
                    const Usual& row = rows_.At(r);
                    const size_t lineStart = out.size();
                    for (size_t i = 1; i <= n; ++i) {
                        const Usual& value = i <= row.ALen() ? row.At(i) : Usual();
                        const auto pos = static_cast<int64_t>(i);
                        if (!FitsField(value, pos, fixedWidth))
                            Fail("row " + std::to_string(r) + ": the value of " + FieldName(Usual(pos)) +
                                 " does not fit its field");
                        std::string text = Usual2String(value, Usual(pos));
                        const std::string& t = FieldSpecOf(pos)->ValType();
                        if (fixedWidth) {
                            out += t == "M" ? rt::PadR(text, FieldLen(Usual(pos))) : text;  // a memo is not padded
                            continue;
                        }
                        bool blanksMatter = t == "M" || (t == "C" && !text.empty() && text.front() == ' ');
                        AppendDelimitedField(out, text, delim, blanksMatter);
                        if (i < n) out += delim;
                    }
                    // An empty line is passed over by the import: a row whose
                    // only field is empty is written as an empty quoted field.
                    if (!fixedWidth && out.size() == lineStart) out += "\"\"";
                    out += "\r\n";
                }
            },
            status_);
        if (ok) {
            rt::ReplaceResult written = rt::AtomicReplace(native, out);
            if (!written.Ok()) ok = unwritable(written.err);
        }
    }
    Notify(rdd::kNotifyFileChange);
    return ok;
}

bool ArrayServer::CopyDelimited(const Usual& file, const Usual& delimiter) {
    return ExportText(file, delimiter.IsString() && !delimiter.AsStr().empty() ? delimiter.AsStr() : ",", false);
}

bool ArrayServer::CopySDF(const Usual& file) { return ExportText(file, std::string(), true); }

}  // namespace lib
