// ArrayServer: a data server whose records are the rows of an in-memory
// array, browsed and edited by the same clients and notifications as a
// table (docs/library-data.md). The caller's row array is used in place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rdd/dataserver.h"
#include "platform/rdd/fieldspec.h"

namespace lib {

class ArrayServer : public rdd::DataServer {
    QZ_OBJECT(ArrayServer)
public:
    // A server holds at most this many rows through APPEND.
    static constexpr uint32_t kMaxAppendRows = 65535;

    ArrayServer() = default;
    bool Init(const rt::Usual& structure, const rt::Usual& rows);

    // Navigation.
    bool GoTo(const rt::Usual& recno);
    bool GoTop();
    bool GoBottom();
    bool Skip(const rt::Usual& count);
    int64_t SetRecNo(const rt::Usual& recno);

    // Fields.
    int64_t FieldPos(const rt::Usual& field) const;
    rt::Usual FieldGet(const rt::Usual& field) const;
    rt::Usual FieldGetFormatted(const rt::Usual& field) const;
    rt::Usual FieldPut(const rt::Usual& field, const rt::Usual& value);
    int64_t FieldLen(const rt::Usual& field) const;
    std::string FieldName(const rt::Usual& field) const;
    rt::Usual DefaultValue(const rt::Usual& field) const;
    rt::Usual EmptyRow() const;
    rt::Usual String2Usual(const rt::Usual& text, const rt::Usual& field) const;
    std::string Usual2String(const rt::Usual& value, const rt::Usual& field) const;
    bool FieldValidate(int64_t pos, const rt::Usual& value) const;
    // Whether the value is written so that it reads back the same (for
    // fixed-width text when fixedWidth).
    bool FitsField(const rt::Usual& value, int64_t pos, bool fixedWidth) const;
    int64_t FCount() const { return static_cast<int64_t>(fields_.size()); }

    // Records.
    bool Append();
    bool Delete();
    bool Recall();
    bool RecallAll();
    bool Deleted() const;
    bool Commit();
    bool Refresh();
    bool Close();
    bool GetDeleted() const { return hideDeleted_; }
    rt::Usual SetDeletedFlag(const rt::Usual& on);

    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    int64_t RecNo() const { return recno_; }
    int64_t LastRec() const { return count_; }
    rt::Usual Data() const { return rows_; }
    rt::Usual DBStruct() const { return struct_; }
    std::string Filter() const { return filterText_; }

    // Filter, seek, sort.
    bool SetFilter(const rt::Usual& block, const rt::Usual& text);
    bool ClearFilter();
    std::string SetFilterText(const rt::Usual& filter);  // the FILTER assign
    bool Seek(const rt::Usual& key);
    // The data server's Seek(key, softSeek) stays callable beside the one
    // above (an array has no order to seek softly in: it answers false).
    using rdd::DataServer::Seek;
    bool Sort(const rt::Usual& field);

    // Notifications: passed on only while the counter is 0. The counter
    // has no lower bound: a reset without a suspend silences the server
    // until a matching suspend.
    int64_t SuspendNotification() { return ++suspended_; }
    int64_t ResetNotification() { return --suspended_; }
    rt::Usual Notify(int64_t code, const rt::Usual& description = rt::Usual());

    // Imports and exports (arrayserverio.cpp): TRUE, or FALSE when a
    // runtime failure ended them. A text export is also FALSE, with the file
    // untouched, when the file cannot be written or a value would not read
    // back (docs/library-data.md); a missing import file is TRUE.
    bool AppendDB(const rt::Usual& source);
    bool AppendDelimited(const rt::Usual& file, const rt::Usual& delimiter);
    bool AppendSDF(const rt::Usual& file);
    bool CopyDB(const rt::Usual& target);
    bool CopyDelimited(const rt::Usual& file, const rt::Usual& delimiter);
    bool CopySDF(const rt::Usual& file);

    rt::Usual HyperLabel() const { return label_; }
    // Why the last import or export failed (its Error), NIL when it did not.
    rt::Usual Status() const { return status_; }

private:
    friend class ArrayImport;
    using Quiet = rdd::SuspendedNotifications<ArrayServer>;
    bool Guard();
    bool ChangeFilter(const rt::Usual& block, const std::string& text, bool active);
    void WriteBack();
    void LoadCopy();  // buffer = shallow copy of the current row
    void LoadRow();   // buffer = the current row itself
    bool Hidden();    // the current record is hidden
    bool AnyHidable() const { return hideDeleted_ || filterActive_; }
    void GoForward(int64_t n);
    void GoBackward(int64_t n);
    void FirstVisible();  // record 1 or the first visible row after it
    const rdd::FieldSpec* FieldSpecOf(int64_t pos) const;
    std::shared_ptr<rt::ArrayData> RowAt(uint32_t recno) const;
    void SyncCount();
    void AddRow(rt::Usual row);  // an imported row with a FALSE flag
    void EndImport();            // the end state after an import
    rt::Usual ImportValue(const std::string& text, size_t pos, bool fixedWidth) const;
    bool ImportLines(const rt::Usual& file,
                     const std::function<rt::Usual(std::string&, const std::function<bool(std::string&)>&)>& parse);
    bool ExportText(const rt::Usual& file, const std::string& delim, bool fixedWidth);
    rt::Usual FieldBindingBlock(const std::string& text);

    rt::Usual rows_;
    rt::Usual struct_;
    std::vector<std::shared_ptr<rdd::DataField>> fields_;
    std::vector<bool> deleted_;
    rt::Usual buffer_;
    std::shared_ptr<rt::ArrayData> bufferSource_;  // the row the buffer was taken from
    rt::Usual defaultRow_;
    rt::Usual label_;
    rt::Usual status_;
    rt::Usual filterBlock_;
    std::string filterText_;
    bool filterActive_ = false;
    bool hideDeleted_ = false;
    bool eof_ = true;
    bool bof_ = true;
    uint32_t recno_ = 1;
    uint32_t count_ = 0;
    int64_t suspended_ = 0;
};

}  // namespace lib
