// ArrayServer imports and exports: tables, delimited text and fixed-width
// (SDF) text. Files are read and written in blocks, a line at a time, so a
// large file is never held in memory as a whole.
#include <cstring>
#include <functional>

#include "lib/data/arrayserver.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/error.h"
#include "platform/runtime/files.h"
#include "platform/runtime/text.h"

namespace lib {

using rt::Usual;

namespace {

// Reads a file line by line through a block buffer; line ends (CR LF or
// LF) are removed. Lines of any length come back whole.
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
                    StripCr(line);
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
                StripCr(line);
                return true;
            }
            line.append(start, len_ - pos_);
            partial_ = true;
            pos_ = len_;
        }
    }

private:
    static void StripCr(std::string& s) {
        if (!s.empty() && s.back() == '\r') s.pop_back();
    }
    int h_;
    std::vector<char> buf_;
    size_t pos_ = 0, len_ = 0;
    bool partial_ = false;
};

// Collects output and writes it in blocks; Ok() is false after a short write.
class BlockWriter {
public:
    explicit BlockWriter(int handle) : h_(handle) { out_.reserve(1 << 16); }
    void Put(std::string_view s) {
        out_.append(s);
        if (out_.size() >= (1 << 16)) Flush();
    }
    void Flush() {
        if (!out_.empty() && rt::FWrite(h_, out_) != out_.size()) ok_ = false;
        out_.clear();
    }
    bool Ok() const { return ok_; }

private:
    int h_;
    std::string out_;
    bool ok_ = true;
};

// Runs an import or export step under an error block that leaves to a
// recovery scope, so that any runtime failure ends it; answers whether it
// ran to its end. The previous error block is always restored.
bool Protected(const std::function<void()>& body) {
    Usual previous =
        rt::ErrorBlock(Usual::Block([](rt::Args a) -> Usual { rt::LabelJump(a.empty() ? Usual() : a[0]); }));
    bool ok = rt::BeginSequence(body, [](const Usual&) {});
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

[[noreturn]] void Fail(const std::string& what) {
    auto e = rt::MakeError(rt::kGenDataWidth, "ARRAYSERVER");
    e->Description = what;
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
// `parse`, which answers the row to add; the end state, the notifications
// and the file are settled whether or not a failure ended the loop.
bool ArrayServer::ImportLines(const Usual& file, const std::function<Usual(std::string&)>& parse) {
    int h = rt::FOpen(file.AsStr(), rt::kFoRead | rt::kFoDenyNone);
    if (h < 0) return true;
    if (rt::FSeek(h, 0, 2) <= 0) {
        rt::FClose(h);
        return true;
    }
    rt::FSeek(h, 0, 0);
    Notify(rdd::kNotifyIntentToMove);
    SuspendNotification();
    bool ok = Protected([&] {
        LineReader reader(h);
        std::string line;
        while (reader.Next(line))
            if (!line.empty()) AddRow(parse(line));
    });
    EndImport();
    ResetNotification();
    Notify(rdd::kNotifyFileChange);
    rt::FClose(h);
    return ok;
}

bool ArrayServer::AppendDelimited(const Usual& file, const Usual& delimiter) {
    std::string delim = delimiter.IsString() && !delimiter.AsStr().empty() ? delimiter.AsStr() : ",";
    size_t nfields = struct_.ALen();
    return ImportLines(file, [&](std::string& line) {
        bool quoted = line.find('"') != std::string::npos;
        if (quoted) {
            line = rt::StrTran(line, "\",\"", "|");
            delim = "|";
        }
        Usual row = EmptyRow();
        auto& cells = *row.AsArray();
        size_t i = 0;
        size_t start = 0;
        for (;;) {
            size_t at = line.find(delim, start);
            std::string text = line.substr(start, at == std::string::npos ? std::string::npos : at - start);
            if (++i > nfields) Fail("a line has more fields than the structure: " + line.substr(0, 80));
            text = rt::AllTrim(text);
            // The outer quotes of a quoted line are not part of the values.
            if (quoted && i == 1 && !text.empty() && text.front() == '"') text.erase(0, 1);
            if (quoted && at == std::string::npos && !text.empty() && text.back() == '"') text.pop_back();
            cells[i - 1] = String2Usual(Usual(text), Usual(static_cast<int64_t>(i)));
            if (at == std::string::npos) break;
            start = at + delim.size();
        }
        return row;
    });
}

bool ArrayServer::AppendSDF(const Usual& file) {
    return ImportLines(file, [&](std::string& line) {
        line = rt::StrTran(line, "\"", "");
        Usual row = EmptyRow();
        auto& cells = *row.AsArray();
        std::string_view rest(line);
        for (size_t i = 1; i <= fields_.size() && i <= cells.size(); ++i) {
            size_t len = static_cast<size_t>(std::max<int64_t>(FieldLen(Usual(static_cast<int64_t>(i))), 0));
            std::string text = rt::AllTrim(rest.substr(0, len));
            cells[i - 1] = String2Usual(Usual(text), Usual(static_cast<int64_t>(i)));
            rest.remove_prefix(std::min(len, rest.size()));
            if (rest.empty()) break;
        }
        return row;
    });
}

bool ArrayServer::AppendDB(const Usual& source) {
    std::shared_ptr<rdd::DBServer> db = std::dynamic_pointer_cast<rdd::DBServer>(source.AsObject());
    bool opened = false;
    if (!db) {
        Quietly([&] { db = rt::New<rdd::DBServer>(source, Usual(true), Usual(true)); });
        opened = true;
    }
    if (!db || !db->Used()) return true;
    Notify(rdd::kNotifyIntentToMove);
    SuspendNotification();
    bool ok = Protected([&] {
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
    });
    EndImport();
    ResetNotification();
    Notify(rdd::kNotifyFileChange);
    if (opened) db->Close();
    return ok;
}

bool ArrayServer::CopyDB(const Usual& target) {
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
    SuspendNotification();
    WriteBack();
    bool ok = Protected([&] {
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
    });
    ResetNotification();
    Notify(rdd::kNotifyFileChange);
    if (opened) db->Close();
    return ok;
}

namespace {

// Opens an export target: an existing file exclusively (refused while
// another holds it), then replaced by a fresh one so that no bytes of the
// old content survive after the new end; a missing file is created.
int OpenExport(const std::string& name) {
    if (rt::File(name)) {
        int probe = rt::FOpen(name, rt::kFoReadWrite | rt::kFoExclusive);
        if (probe < 0) return -1;
        rt::FClose(probe);
    }
    return rt::FCreate(name);
}

}  // namespace

bool ArrayServer::CopyDelimited(const Usual& file, const Usual& delimiter) {
    std::string delim = delimiter.IsString() ? delimiter.AsStr() : ",";
    int h = OpenExport(file.AsStr());
    if (h < 0) return true;
    Notify(rdd::kNotifyIntentToMove);
    SuspendNotification();
    WriteBack();
    bool ok = Protected([&] {
        BlockWriter out(h);
        size_t n = struct_.ALen();
        for (size_t r = 1; r <= rows_.ALen(); ++r) {
            const Usual& row = rows_.At(r);
            for (size_t i = 1; i <= n; ++i) {
                out.Put(Usual2String(i <= row.ALen() ? row.At(i) : Usual(), Usual(static_cast<int64_t>(i))));
                if (i < n) out.Put(delim);
            }
            out.Put("\r\n");
        }
        out.Flush();
        if (!out.Ok()) Fail("the file could not be written");
    });
    ResetNotification();
    Notify(rdd::kNotifyFileChange);
    rt::FClose(h);
    return ok;
}

bool ArrayServer::CopySDF(const Usual& file) { return CopyDelimited(file, Usual(std::string())); }

}  // namespace lib
