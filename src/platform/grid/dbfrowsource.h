// The rows of a DBServer. Cells of the server's current record come from
// the server's record buffer (FieldGet reads it without moving, and shows
// edits not yet written); every other record is read from the file through
// a RecordReader of its own.
#pragma once

#include <memory>

#include "platform/grid/recordreader.h"
#include "platform/grid/rowsource.h"
#include "platform/rdd/dbserver.h"

namespace grid {

class DbfRowSource : public RowSource {
public:
    explicit DbfRowSource(std::shared_ptr<rdd::DBServer> server);

    const std::vector<ColumnInfo>& Columns() const override { return columns_; }
    const RowMap& Map() const override { return map_; }
    rt::Usual Server() const override { return rt::Usual(server_); }

    rt::Usual Value(int64_t row, int column) override;
    bool RowDeleted(int64_t row) override;
    bool Editable(int column) const override;

    uint32_t CurrentRecord() const override;
    bool MoveTo(uint32_t recno) override;
    bool Put(uint32_t recno, int column, const rt::Usual& value) override;

    void Rebuild() override;
    bool NeedsRebuild() override;
    int64_t Grow() override;
    int64_t RecordDeleted(uint32_t recno) override;
    void Forget() override { reader_.Forget(); }
    void Closed() override;

    const RecordReader& Reader() const { return reader_; }

private:
    // The map is of the table the server has open now (a server closed and
    // opened again behind the grid's back has another engine).
    bool Open() const { return engine_ != nullptr && server_->Engine() == engine_; }

    std::shared_ptr<rdd::DBServer> server_;
    const rdd::dbf::Table* engine_ = nullptr;  // the table the map was built for
    std::vector<ColumnInfo> columns_;
    std::vector<rdd::dbf::FieldDesc> fields_;
    RowMap map_;
    RecordReader reader_;
};

}  // namespace grid
