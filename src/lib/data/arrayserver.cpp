#include "lib/data/arrayserver.h"

#include <algorithm>

#include "platform/runtime/dates.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace lib {

using rt::Args;
using rt::Usual;

const rt::ClassDef& ArrayServer::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<ArrayServer>("ARRAYSERVER", &rdd::DataServer::StaticClass())
            .Method<&ArrayServer::Init>("INIT")
            .Method<&ArrayServer::GoTo>("GOTO")
            .Method<&ArrayServer::GoTop>("GOTOP")
            .Method<&ArrayServer::GoBottom>("GOBOTTOM")
            .Method<&ArrayServer::Skip>("SKIP")
            .Method<&ArrayServer::FieldPos>("FIELDPOS")
            .Method<&ArrayServer::FieldGet>("FIELDGET")
            .Method<&ArrayServer::FieldGetFormatted>("FIELDGETFORMATTED")
            .Method<&ArrayServer::FieldPut>("FIELDPUT")
            .Method<&ArrayServer::FieldLen>("FIELDLEN")
            .Method<&ArrayServer::FieldName>("FIELDNAME")
            .Method<&ArrayServer::DefaultValue>("DEFAULTVALUE")
            .Method<&ArrayServer::EmptyRow>("EMPTYROW")
            .Method<&ArrayServer::String2Usual>("STRING2USUAL")
            .Method<&ArrayServer::Usual2String>("USUAL2STRING")
            .Method<&ArrayServer::FieldValidate>("FIELDVALIDATE")
            .Access<&ArrayServer::FCount>("FCOUNT")
            .Method<&ArrayServer::Append>("APPEND")
            .Method<&ArrayServer::Delete>("DELETE")
            .Method<&ArrayServer::Recall>("RECALL")
            .Method<&ArrayServer::RecallAll>("RECALLALL")
            .Access<&ArrayServer::Deleted>("DELETED")
            .Method<&ArrayServer::Deleted>("DELETED")
            .Method<&ArrayServer::Commit>("COMMIT")
            .Method<&ArrayServer::Refresh>("REFRESH")
            .Method<&ArrayServer::Close>("CLOSE")
            .Access<&ArrayServer::GetDeleted>("SETDELETED")
            .Assign<&ArrayServer::SetDeletedFlag>("SETDELETED")
            .Access<&ArrayServer::Bof>("BOF")
            .Access<&ArrayServer::Eof>("EOF")
            .Method<&ArrayServer::Bof>("BOF")
            .Method<&ArrayServer::Eof>("EOF")
            .Access<&ArrayServer::RecNo>("RECNO")
            .Method<&ArrayServer::RecNo>("RECNO")
            .Assign<&ArrayServer::SetRecNo>("RECNO")
            .Access<&ArrayServer::LastRec>("LASTREC")
            .Access<&ArrayServer::LastRec>("RECCOUNT")
            .Method<&ArrayServer::LastRec>("LASTREC")
            .Method<&ArrayServer::LastRec>("RECCOUNT")
            .Access<&ArrayServer::Data>("DATA")
            .Access<&ArrayServer::DBStruct>("DBSTRUCT")
            .Method<&ArrayServer::DBStruct>("DBSTRUCT")
            .Access<&ArrayServer::Filter>("FILTER")
            .Assign<&ArrayServer::SetFilterText>("FILTER")
            .Method<&ArrayServer::SetFilter>("SETFILTER")
            .Method<&ArrayServer::ClearFilter>("CLEARFILTER")
            .Method<static_cast<bool (ArrayServer::*)(const rt::Usual&)>(&ArrayServer::Seek)>("SEEK")
            .Method<&ArrayServer::Sort>("SORT")
            .Method<&ArrayServer::SuspendNotification>("SUSPENDNOTIFICATION")
            .Method<&ArrayServer::ResetNotification>("RESETNOTIFICATION")
            .Method<&ArrayServer::Notify>("NOTIFY")
            .Method<&ArrayServer::AppendDB>("APPENDDB")
            .Method<&ArrayServer::AppendDelimited>("APPENDDELIMITED")
            .Method<&ArrayServer::AppendSDF>("APPENDSDF")
            .Method<&ArrayServer::CopyDB>("COPYDB")
            .Method<&ArrayServer::CopyDelimited>("COPYDELIMITED")
            .Method<&ArrayServer::CopySDF>("COPYSDF")
            .Access<&ArrayServer::HyperLabel>("HYPERLABEL")
            .Access<&ArrayServer::Status>("STATUS")
            .Done();
    return c;
}

bool ArrayServer::Init(const Usual& structure, const Usual& rows) {
    struct_ = structure.IsArray() ? structure : Usual::Array();
    fields_.clear();
    for (size_t i = 1; i <= struct_.ALen(); ++i) {
        const Usual& f = struct_.At(i);
        auto item = [&](size_t k) { return k <= f.ALen() ? f.At(k) : Usual(); };
        std::string name = item(1).AsStr();
        auto fieldSpec = rt::New<rdd::FieldSpec>(name, item(2).AsStr(), item(3).AsLong(), item(4).AsLong());
        fields_.push_back(rt::New<rdd::DataField>(name, fieldSpec));
    }
    std::vector<Usual> defaults;
    for (size_t i = 1; i <= fields_.size(); ++i) defaults.push_back(DefaultValue(Usual(static_cast<int64_t>(i))));
    defaultRow_ = Usual::Array(std::move(defaults));
    rows_ = rows.IsArray() ? rows : Usual::Array();
    count_ = static_cast<uint32_t>(rows_.ALen());
    recno_ = 1;
    buffer_ = Usual::Array();
    bufferSource_.reset();
    eof_ = bof_ = false;
    if (count_ > 0) LoadCopy();
    else eof_ = bof_ = true;
    deleted_.assign(count_, false);
    label_ = Usual(rt::New<rt::HyperLabel>(rt::Symbol("ARRAYSERVER"), "ArrayServer"));
    suspended_ = 0;
    hideDeleted_ = rt::SetDeleted();
    filterBlock_ = Usual();
    filterText_.clear();
    filterActive_ = false;
    return true;
}

// ---- internals -------------------------------------------------------------

std::shared_ptr<rt::ArrayData> ArrayServer::RowAt(uint32_t recno) const {
    if (recno < 1 || recno > rows_.ALen()) return nullptr;
    const Usual& row = rows_.At(recno);
    return row.IsArray() ? row.AsArray() : nullptr;
}

void ArrayServer::SyncCount() {
    count_ = static_cast<uint32_t>(rows_.ALen());
    deleted_.resize(count_, false);
}

Usual ArrayServer::Notify(int64_t code, const Usual& description) {
    Usual answer;
    if (suspended_ == 0) answer = DataServer::Notify(code, description);
    if (code == rdd::kNotifyIntentToMove && !answer.IsLogic()) answer = Usual(true);
    return answer;
}

bool ArrayServer::Guard() { return count_ > 0 && Notify(rdd::kNotifyIntentToMove).AsLogic(); }

void ArrayServer::WriteBack() {
    if (eof_ || !bufferSource_ || !buffer_.IsArray()) return;
    if (buffer_.AsArray() == bufferSource_) return;  // the buffer is the row itself
    *bufferSource_ = *buffer_.AsArray();
}

void ArrayServer::LoadCopy() {
    auto row = RowAt(recno_);
    bufferSource_ = row;
    buffer_ = row ? Usual::Array(*row) : Usual::Array();
}

void ArrayServer::LoadRow() {
    auto row = RowAt(recno_);
    bufferSource_ = row;
    buffer_ = row ? Usual(row) : Usual::Array();
}

bool ArrayServer::Hidden() {
    if (recno_ < 1 || recno_ > count_) return false;
    if (hideDeleted_ && recno_ <= deleted_.size() && deleted_[recno_ - 1]) return true;
    if (!filterActive_) return false;
    rt::ObjectRef self = weak_from_this().lock();
    Usual verdict = filterBlock_.Eval({self ? Usual(self) : Usual(), rows_});
    return !(verdict.IsLogic() && verdict.AsLogic());
}

void ArrayServer::GoForward(int64_t n) {
    if (!AnyHidable()) {
        int64_t target = static_cast<int64_t>(recno_) + n;
        if (target > count_) {
            recno_ = count_ + 1;
            eof_ = true;
        } else {
            recno_ = static_cast<uint32_t>(target);
        }
        return;
    }
    for (int64_t i = 0; i < n; ++i) {
        ++recno_;
        while (recno_ <= count_ && Hidden()) ++recno_;
        if (recno_ > count_) {
            recno_ = count_ + 1;
            eof_ = true;
            return;
        }
    }
}

// Steps back over visible rows. A move that runs into the top stops on the
// first visible row with BOF set, as a table does: the same move lands on
// the same row whether or not rows can be hidden. When no visible row lies
// before the start, the server stays where the move began (or on the next
// visible row after it), with BOF set.
void ArrayServer::GoBackward(int64_t n) {
    if (!AnyHidable()) {
        int64_t target = static_cast<int64_t>(recno_) + n;
        if (target < 1) {
            recno_ = 1;
            bof_ = true;
        } else {
            recno_ = static_cast<uint32_t>(target);
        }
        return;
    }
    const uint32_t start = recno_;
    uint32_t at = start;  // the last visible row reached
    for (int64_t i = 0; i < -n; ++i) {
        recno_ = at - 1;
        while (recno_ > 0 && Hidden()) --recno_;
        if (recno_ == 0) {
            bof_ = true;
            break;
        }
        at = recno_;
    }
    recno_ = at;
    if (at != start || !bof_) return;
    if (start > count_) {
        eof_ = true;
    } else if (Hidden()) {
        if (start < count_) {
            Quiet quiet(*this);
            GoForward(1);
        } else {
            recno_ = count_ + 1;
            eof_ = true;
        }
    }
}

void ArrayServer::FirstVisible() {
    recno_ = 1;
    eof_ = bof_ = false;
    if (Hidden()) {
        Quiet quiet(*this);
        GoForward(1);
    }
}

const rdd::FieldSpec* ArrayServer::FieldSpecOf(int64_t pos) const {
    if (pos < 1 || pos > FCount()) return nullptr;
    return fields_[static_cast<size_t>(pos - 1)]->GetFieldSpec();
}

// ---- navigation ------------------------------------------------------------

// A record number that is no number is refused (FALSE, nothing moves); a
// negative one, like one above the row count, goes past the end.
bool ArrayServer::GoTo(const Usual& recno) {
    if (!recno.IsNumeric()) return false;
    const int64_t n = recno.AsLong();
    if (!Guard()) return true;
    WriteBack();
    if (n == 0) {
        // On row 1: the buffer is row 1, so the server is not past the end.
        recno_ = 1;
        bof_ = true;
        eof_ = false;
        LoadCopy();
    } else if (n < 0 || n > count_) {
        recno_ = count_ + 1;
        eof_ = true;
    } else {
        recno_ = static_cast<uint32_t>(n);
        eof_ = bof_ = false;
        LoadCopy();
    }
    Notify(rdd::kNotifyRecordChange);
    return true;
}

int64_t ArrayServer::SetRecNo(const Usual& recno) {
    GoTo(recno);
    return recno_;
}

bool ArrayServer::GoTop() {
    if (!Guard()) return true;
    WriteBack();
    FirstVisible();
    if (!eof_) LoadCopy();
    Notify(rdd::kNotifyGoTop);
    return true;
}

bool ArrayServer::GoBottom() {
    if (!Guard()) return true;
    WriteBack();
    recno_ = count_;
    eof_ = bof_ = false;
    if (Hidden()) {
        Quiet quiet(*this);
        GoBackward(-1);
    }
    if (!eof_) LoadCopy();
    Notify(rdd::kNotifyGoBottom);
    return true;
}

// A count that is no number (NIL is 1) is refused. A count beyond the row
// count moves to an end as that many would; the bound also keeps the
// backward step count from overflowing. SKIP(0) is a refresh: the position,
// EOF and BOF stay.
bool ArrayServer::Skip(const Usual& count) {
    if (!count.IsNil() && !count.IsNumeric()) return false;
    const int64_t far = static_cast<int64_t>(count_) + 1;
    const int64_t n = count.IsNil() ? 1 : std::clamp(count.AsLong(), -far, far);
    bool moved = Guard();
    if (moved) {
        WriteBack();
        if (n == 0) {
            Refresh();
        } else {
            eof_ = bof_ = false;
            if (n > 0) GoForward(n);
            else GoBackward(n);
        }
    }
    // A refused move keeps the buffer with its pending changes.
    if (moved && !eof_) LoadCopy();
    Notify(rdd::kNotifyRecordChange);
    return true;
}

// ---- fields ----------------------------------------------------------------

int64_t ArrayServer::FieldPos(const Usual& field) const {
    if (field.IsNumeric()) {
        int64_t n = field.AsLong();
        return n >= 1 && n <= FCount() ? n : 0;
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (field.IsSymbol() && fields_[i]->NameSym() == field.AsSymbol()) return static_cast<int64_t>(i + 1);
        if (field.IsString() && fields_[i]->Name() == field.AsStr()) return static_cast<int64_t>(i + 1);
    }
    return 0;
}

Usual ArrayServer::FieldGet(const Usual& field) const {
    int64_t pos = FieldPos(field);
    if (pos > 0 && !eof_ && static_cast<size_t>(pos) <= buffer_.ALen()) return buffer_.At(static_cast<size_t>(pos));
    return DefaultValue(Usual(pos));
}

Usual ArrayServer::FieldGetFormatted(const Usual& field) const {
    int64_t pos = FieldPos(field);
    if (pos > 0 && !eof_) return FieldSpecOf(pos)->Transform(FieldGet(Usual(pos)));
    return DefaultValue(Usual(pos));
}

// The field spec's type check, and a number must fit the field's width
// (written there it would otherwise be asterisks).
bool ArrayServer::FieldValidate(int64_t pos, const Usual& value) const {
    const rdd::FieldSpec* fieldSpec = FieldSpecOf(pos);
    return fieldSpec && fieldSpec->Validate(value) && (fieldSpec->ValType() != "N" || FitsField(value, pos, false));
}

// A character value longer than its field is cut to the field, as a table
// stores it, so that what is stored is what an export writes.
Usual ArrayServer::FieldPut(const Usual& field, const Usual& value) {
    int64_t pos = FieldPos(field);
    if (pos <= 0 || eof_ || !FieldValidate(pos, value)) return DefaultValue(Usual(pos));
    const rdd::FieldSpec* fieldSpec = FieldSpecOf(pos);
    Usual stored = value;
    if (fieldSpec->ValType() == "C" && value.IsString()) {
        size_t width = static_cast<size_t>(std::max<int64_t>(fieldSpec->Length(), 0));
        if (value.AsStr().size() > width) stored = Usual(value.AsStr().substr(0, rt::Utf8Cut(value.AsStr(), width)));
    }
    auto& row = *buffer_.AsArray();
    // A short row grows to hold the field rather than losing the value.
    if (row.size() < static_cast<size_t>(pos)) row.resize(static_cast<size_t>(pos));
    row[static_cast<size_t>(pos - 1)] = stored;
    Notify(rdd::kNotifyFieldChange, Usual(fields_[static_cast<size_t>(pos - 1)]->NameSym()));
    return stored;
}

// Whether USUAL2STRING writes the value so that reading gives it back: of
// the field's type (or NIL), a number within the width, a character value
// within the field; fixed-width text also needs a memo within the width
// and no line ends.
bool ArrayServer::FitsField(const Usual& value, int64_t pos, bool fixedWidth) const {
    const rdd::FieldSpec* fieldSpec = FieldSpecOf(pos);
    if (!fieldSpec || value.IsNil()) return true;
    const std::string& t = fieldSpec->ValType();
    const size_t width = static_cast<size_t>(std::max<int64_t>(fieldSpec->Length(), 0));
    if (t == "N")
        return value.IsNumeric() &&
               rt::Str(value, static_cast<int>(width), static_cast<int>(fieldSpec->Decimals())).find('*') ==
                   std::string::npos;
    if (t == "D") return value.IsDate();
    if (t == "L") return value.IsLogic();
    if (t != "C" && t != "M") return true;
    if (!value.IsString()) return false;
    const std::string& s = value.AsStr();
    if (t == "C" && s.size() > width) return false;
    return !fixedWidth || (s.size() <= width && s.find_first_of("\r\n") == std::string::npos);
}

int64_t ArrayServer::FieldLen(const Usual& field) const {
    const rdd::FieldSpec* fieldSpec = FieldSpecOf(FieldPos(field));
    return fieldSpec ? fieldSpec->Length() : 0;
}

std::string ArrayServer::FieldName(const Usual& field) const {
    int64_t pos = FieldPos(field);
    return pos > 0 ? fields_[static_cast<size_t>(pos - 1)]->Name() : std::string();
}

Usual ArrayServer::DefaultValue(const Usual& field) const {
    const rdd::FieldSpec* fieldSpec = FieldSpecOf(FieldPos(field));
    if (!fieldSpec) return Usual();
    const std::string& t = fieldSpec->ValType();
    if (t == "C" || t == "M") return Usual(std::string());
    if (t == "N") return Usual(0);
    if (t == "D") return Usual(rt::CToD("  /  /  "));
    if (t == "L") return Usual(false);
    return Usual();
}

Usual ArrayServer::EmptyRow() const {
    std::vector<Usual> row;
    for (size_t i = 1; i <= struct_.ALen(); ++i) {
        const Usual& f = struct_.At(i);
        std::string t = f.ALen() >= 2 ? rt::Upper(f.At(2).AsStr()) : std::string();
        int64_t len = f.ALen() >= 3 ? f.At(3).AsLong() : 0;
        if (t == "C") row.emplace_back(rt::Space(len));
        else if (t == "N") row.emplace_back(0);
        else if (t == "D") row.emplace_back(rt::Date{});
        else if (t == "L") row.emplace_back(false);
        else if (t == "M") row.emplace_back(std::string());
        else row.emplace_back();
    }
    return Usual::Array(std::move(row));
}

namespace {

// The text padded with blanks, or cut, to the width (never inside a UTF-8
// character: a cut character leaves a blank).
std::string FitText(const std::string& s, int64_t length) {
    size_t width = static_cast<size_t>(std::max<int64_t>(length, 0));
    if (s.size() > width) return rt::PadR(s.substr(0, rt::Utf8Cut(s, width)), length);
    return rt::PadR(s, length);
}

bool EightDigits(const std::string& s) {
    return s.size() == 8 && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

// A number is rounded to the field's decimals, as the field would store
// it and an export writes it (one too wide for the field stays as read). A
// date is read in the form USUAL2STRING writes (eight digits, year first) or
// else with the date format. A logic value is true when it starts with
// Y or T, in either case.
Usual ArrayServer::String2Usual(const Usual& text, const Usual& field) const {
    const rdd::FieldSpec* fieldSpec = FieldSpecOf(field.AsLong());
    if (!fieldSpec) return Usual();
    const std::string& s = text.AsStr();
    const std::string& t = fieldSpec->ValType();
    if (t == "C") return Usual(FitText(s, fieldSpec->Length()));
    if (t == "N") {
        Usual n = rt::Val(s);
        std::string stored = rt::Str(n, static_cast<int>(fieldSpec->Length()), static_cast<int>(fieldSpec->Decimals()));
        return stored.find('*') == std::string::npos ? rt::Val(stored) : n;
    }
    if (t == "D") return Usual(EightDigits(s) ? rt::SToD(s) : rt::CToD(s));
    if (t == "L") return Usual(!s.empty() && std::string_view("YyTt").find(s.front()) != std::string_view::npos);
    if (t == "M") return Usual(s);
    return Usual();
}

std::string ArrayServer::Usual2String(const Usual& value, const Usual& field) const {
    const rdd::FieldSpec* fieldSpec = FieldSpecOf(field.AsLong());
    if (!fieldSpec) return {};
    const std::string& t = fieldSpec->ValType();
    std::string text = value.IsString() ? value.AsStr() : value.IsNil() ? std::string() : rt::AsString(value);
    if (t == "C") return FitText(text, fieldSpec->Length());
    if (t == "N")
        return rt::Str(value.IsNumeric() ? value : Usual(0), static_cast<int>(fieldSpec->Length()),
                       static_cast<int>(fieldSpec->Decimals()));
    if (t == "D") return rt::DToS(value.AsDate());
    if (t == "L") return value.AsLogic() ? "T" : "F";
    if (t == "M") return text;
    return {};
}

// ---- records ---------------------------------------------------------------

bool ArrayServer::Append() {
    if (!Notify(rdd::kNotifyIntentToMove).AsLogic() || count_ >= kMaxAppendRows) return false;
    WriteBack();
    buffer_ = Usual::Array(*defaultRow_.AsArray());
    bufferSource_ = buffer_.AsArray();
    rows_.AAdd(buffer_);
    SyncCount();
    recno_ = count_;
    eof_ = bof_ = false;
    Notify(rdd::kNotifyAppend);
    return true;
}

// Past the last row there is no record to mark: FALSE.
bool ArrayServer::Delete() {
    if (eof_ || recno_ > deleted_.size()) return false;
    deleted_[recno_ - 1] = true;
    Notify(rdd::kNotifyDelete);
    return true;
}

bool ArrayServer::Recall() {
    if (eof_ || recno_ > deleted_.size()) return false;
    deleted_[recno_ - 1] = false;
    return true;
}

bool ArrayServer::RecallAll() {
    std::fill(deleted_.begin(), deleted_.end(), false);
    return true;
}

bool ArrayServer::Deleted() const { return !eof_ && recno_ <= deleted_.size() && deleted_[recno_ - 1]; }

bool ArrayServer::Commit() {
    WriteBack();
    return true;
}

bool ArrayServer::Refresh() {
    if (!eof_) {
        LoadRow();
        Notify(rdd::kNotifyRecordChange);
    }
    return true;
}

bool ArrayServer::Close() {
    Commit();
    Notify(rdd::kNotifyClose);
    return true;
}

Usual ArrayServer::SetDeletedFlag(const Usual& on) {
    if (on.IsLogic()) {
        hideDeleted_ = on.AsLogic();
        GoTop();
        Notify(rdd::kNotifyFileChange);
    }
    return Usual(hideDeleted_);
}

}  // namespace lib
