#include "platform/grid/datagrid.h"

#include <QHeaderView>

#include <algorithm>

#include "platform/grid/dbfrowsource.h"
#include "platform/gui/window.h"
#include "platform/rdd/dbserver.h"
#include "platform/runtime/error.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/text.h"

namespace grid {
namespace {

// A designer-setting value as an upper-case word: symbols and texts by
// name, logic values as TRUE/FALSE; "" for nil, "?" for anything else.
std::string Word(const rt::Usual& v) {
    if (v.IsLogic()) return v.AsLogic() ? "TRUE" : "FALSE";
    if (v.IsSymbol()) return v.AsSymbol().Name();
    if (v.IsString()) return rt::Upper(rt::AllTrim(v.AsStr()));
    if (v.IsNil()) return {};
    return "?";
}

bool Any(const std::string& word, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return word == n; });
}

// The source that shows a server, or nullptr for a server the grid cannot
// show. Servers that keep rows elsewhere add their own RowSource here.
std::unique_ptr<RowSource> MakeRowSource(const rt::Usual& server) {
    if (auto db = std::dynamic_pointer_cast<rdd::DBServer>(server.AsObject()))
        return std::make_unique<DbfRowSource>(std::move(db));
    return nullptr;
}

}  // namespace

// ---- DataColumn ---------------------------------------------------------

const rt::ClassDef& DataColumn::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DataColumn>("DATACOLUMN")
                                       .Access<&DataColumn::Width>("WIDTH")
                                       .Assign<&DataColumn::SetWidth>("WIDTH")
                                       .Access<&DataColumn::Name>("NAME")
                                       .Done();
    return c;
}

int64_t DataColumn::Width() const {
    auto grid = grid_.lock();
    return grid ? grid->ColumnWidth(name_) : 0;
}

int64_t DataColumn::SetWidth(int64_t pixels) {
    auto grid = grid_.lock();
    return grid ? grid->SetColumnWidth(name_, pixels) : 0;
}

// ---- DataGrid -----------------------------------------------------------

const rt::ClassDef& DataGrid::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<DataGrid>("DATAGRID", &gui::CustomControl::StaticClass())
            .RawMethod("INIT",
                       [](rt::Object& o, rt::Args a) {
                           // INIT(owner window, template item id)
                           auto* owner = a.size() > 0 ? dynamic_cast<gui::Window*>(a[0].AsObject().get()) : nullptr;
                           if (owner && a.size() > 1 && a[1].IsNumeric())
                               static_cast<DataGrid&>(o).Create(*owner, static_cast<int>(a[1].AsLong()));
                           return rt::Usual(o.Self());
                       })
            .Method<&DataGrid::Use>("USE")
            .Access<&DataGrid::Server>("SERVER")
            .Method<&DataGrid::Notify>("NOTIFY")
            .Method<&DataGrid::Refresh>("REFRESH")
            .Method<&DataGrid::GetColumn>("GETCOLUMN")
            .Method<&DataGrid::GetColumn>("COLUMN")
            .Access<&DataGrid::ColumnCount>("COLUMNCOUNT")
            .Method<&DataGrid::EnableColumnMove>("ENABLECOLUMNMOVE")
            .Method<&DataGrid::EnableColumnResize>("ENABLECOLUMNRESIZE")
            .Method<&DataGrid::EnableRowResize>("ENABLEROWRESIZE")
            .Method<&DataGrid::SetHighlight>("SETHIGHLIGHT")
            .Method<&DataGrid::SetScrollBars>("SETSCROLLBARS")
            .Method<&DataGrid::SetRecordNumbers>("SETRECORDNUMBERS")
            .Method<&DataGrid::SetScrollRange>("SETSCROLLRANGE")
            .Method<&DataGrid::SetLook>("SETLOOK")
            .Done();
    return c;
}

DataGrid::~DataGrid() {
    // The server's list holds the grid weakly: it is out of that list now.
    // The view may stay a while (its window deletes it later): it lets go
    // of the server at once and forgets this object.
    if (view_) {
        view_->SetOnDestroyed(nullptr);
        view_->Bind(nullptr);
    }
}

std::shared_ptr<DataGrid> DataGrid::MakeDetached() {
    auto grid = rt::New<DataGrid>();
    grid->EnsureView(nullptr)->Keep(grid);
    return grid;
}

GridView* DataGrid::EnsureView(QWidget* parent) {
    if (!view_) {
        view_ = new GridView(parent);
        view_->SetOnDestroyed([this] { ViewGone(); });
    } else if (parent && view_->parentWidget() != parent) {
        view_->setParent(parent);
    }
    return view_;
}

QWidget* DataGrid::MakeWidget(QWidget* parent) { return EnsureView(parent); }

void DataGrid::ViewGone() {
    view_ = nullptr;
    Unregister();
    server_ = rt::Usual();
    columns_.clear();
}

void DataGrid::Unregister() {
    if (auto ds = std::dynamic_pointer_cast<rdd::DataServer>(server_.AsObject()))
        ds->UnRegisterClient(rt::Usual(Self()));
}

bool DataGrid::Use(const rt::Usual& server) {
    auto keep = Self();
    if (server.IsObject() && server_.IsObject() && server.AsObject() == server_.AsObject()) {
        Refresh();
        return true;
    }
    std::unique_ptr<RowSource> source;
    if (!server.IsNil()) {
        source = server.IsObject() ? MakeRowSource(server) : nullptr;
        if (!source) {
            auto e = rt::MakeError(rt::kGenWrongClass, "DATAGRID:USE");
            e->SubSystem = "DATAGRID";
            e->Description = "the grid shows a DBServer; got " + rt::AsString(server);
            e->ArgNum = 1;
            e->ArgType = server.Type();
            e->ArgTypeReq = rt::kObject;
            e->CanDefault = true;
            rt::RaiseError(e);
            return false;
        }
    }
    Unregister();
    columns_.clear();
    server_ = server.IsNil() ? rt::Usual() : server;
    if (auto ds = std::dynamic_pointer_cast<rdd::DataServer>(server_.AsObject())) ds->RegisterClient(rt::Usual(Self()));
    EnsureView(nullptr)->Bind(std::move(source));
    return true;
}

rt::Usual DataGrid::Notify(int64_t code, const rt::Usual&) {
    auto keep = Self();  // a handler may let go of the grid
    if (view_) view_->ServerNotified(code);
    // The grid never refuses a move: an open edit was written just now.
    return code == rdd::kNotifyIntentToMove ? rt::Usual(true) : rt::Usual();
}

void DataGrid::Refresh() {
    if (view_) view_->Refresh();
}

int64_t DataGrid::ColumnCount() const {
    RowSource* s = view_ ? view_->Source() : nullptr;
    return s ? static_cast<int64_t>(s->Columns().size()) : 0;
}

rt::Usual DataGrid::GetColumn(const rt::Usual& field) {
    RowSource* s = view_ ? view_->Source() : nullptr;
    if (!s) return rt::Usual();
    const auto& columns = s->Columns();
    const ColumnInfo* found = nullptr;
    if (field.IsNumeric()) {
        int64_t n = field.AsLong();
        if (n >= 1 && n <= static_cast<int64_t>(columns.size())) found = &columns[static_cast<size_t>(n - 1)];
    } else {
        const std::string name = field.IsSymbol() ? field.AsSymbol().Name() : rt::Upper(rt::AllTrim(field.AsStr()));
        for (const ColumnInfo& c : columns)
            if (c.name == name) found = &c;
    }
    if (!found) return rt::Usual();
    for (const auto& c : columns_)
        if (c->Name() == found->name) return rt::Usual(c);
    auto column = rt::New<DataColumn>(std::static_pointer_cast<DataGrid>(Self()), found->name);
    columns_.push_back(column);
    return rt::Usual(column);
}

int64_t DataGrid::ColumnWidth(const std::string& name) const {
    return view_ ? view_->ColumnWidth(QString::fromStdString(name)) : 0;
}

int64_t DataGrid::SetColumnWidth(const std::string& name, int64_t pixels) {
    if (!view_) return 0;
    view_->SetColumnWidth(QString::fromStdString(name), static_cast<int>(std::clamp<int64_t>(pixels, -1, 100000)));
    return ColumnWidth(name);
}

void DataGrid::EnableColumnMove(bool on) { EnsureView(nullptr)->horizontalHeader()->setSectionsMovable(on); }

void DataGrid::EnableColumnResize(bool on) {
    EnsureView(nullptr)->horizontalHeader()->setSectionResizeMode(on ? QHeaderView::Interactive : QHeaderView::Fixed);
}

void DataGrid::EnableRowResize(bool on) {
    EnsureView(nullptr)->verticalHeader()->setSectionResizeMode(on ? QHeaderView::Interactive : QHeaderView::Fixed);
}

bool DataGrid::RejectValue(const char* method, const rt::Usual& value, const char* expected) {
    auto e = rt::MakeError(rt::kGenArg, method);
    e->SubSystem = "DATAGRID";
    e->Description = std::string("unknown setting ") + rt::AsString(value) + "; expected " + expected;
    e->ArgNum = 1;
    e->ArgType = value.Type();
    e->Arg = rt::AsString(value);
    e->CanDefault = true;
    rt::RaiseError(e);
    return false;
}

bool DataGrid::SetHighlight(const rt::Usual& value) {
    const std::string w = Word(value);
    GridView* v = EnsureView(nullptr);
    if (Any(w, {"NONE", "FALSE"})) v->SetHighlight(Highlight::kNone);
    else if (Any(w, {"ROW", "TRUE"})) v->SetHighlight(Highlight::kRow);
    else if (w == "CELL") v->SetHighlight(Highlight::kCell);
    else return RejectValue("DATAGRID:SETHIGHLIGHT", value, "NONE, ROW, CELL or a logic value");
    return true;
}

bool DataGrid::SetScrollBars(const rt::Usual& value) {
    const std::string w = Word(value);
    Qt::ScrollBarPolicy policy;
    if (w == "ALWAYS") policy = Qt::ScrollBarAlwaysOn;
    else if (Any(w, {"AUTO", "TRUE"})) policy = Qt::ScrollBarAsNeeded;
    else if (Any(w, {"NONE", "FALSE"})) policy = Qt::ScrollBarAlwaysOff;
    else return RejectValue("DATAGRID:SETSCROLLBARS", value, "ALWAYS, AUTO, NONE or a logic value");
    GridView* v = EnsureView(nullptr);
    v->setHorizontalScrollBarPolicy(policy);
    v->setVerticalScrollBarPolicy(policy);
    return true;
}

bool DataGrid::SetRecordNumbers(const rt::Usual& value) {
    const std::string w = Word(value);
    bool on;
    if (Any(w, {"TRUE", "ALWAYS"})) on = true;
    else if (Any(w, {"FALSE", "NONE"})) on = false;
    else return RejectValue("DATAGRID:SETRECORDNUMBERS", value, "a logic value, ALWAYS or NONE");
    EnsureView(nullptr)->verticalHeader()->setVisible(on);
    return true;
}

bool DataGrid::SetScrollRange(const rt::Usual& value) {
    const std::string w = Word(value);
    bool perRecord;
    if (Any(w, {"RECCOUNT", "TRUE"})) perRecord = true;
    else if (Any(w, {"PIXEL", "NONE", "FALSE"})) perRecord = false;
    else return RejectValue("DATAGRID:SETSCROLLRANGE", value, "RECCOUNT, PIXEL, NONE or a logic value");
    EnsureView(nullptr)->SetScrollPerRecord(perRecord);
    return true;
}

bool DataGrid::SetLook(const rt::Usual& value) {
    const std::string w = Word(value);
    GridView* v = EnsureView(nullptr);
    if (w == "EXCEL") v->SetLook(Look::kSpreadsheet);
    else if (Any(w, {"STANDARD", "TRUE"})) v->SetLook(Look::kStandard);
    else if (Any(w, {"NONE", "FALSE", "PLAIN"})) v->SetLook(Look::kPlain);
    else return RejectValue("DATAGRID:SETLOOK", value, "EXCEL, STANDARD, NONE or a logic value");
    return true;
}

}  // namespace grid
