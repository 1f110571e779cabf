#include "tools/qzgallery/widgetspages.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>

#include "lib/controls/controlinit.h"
#include "lib/controls/hyperlink.h"
#include "lib/data/arrayserver.h"
#include "lib/system/inifile.h"
#include "lib/widgets/bitmap.h"
#include "lib/widgets/smartsle.h"
#include "lib/widgets/tabcontrol.h"
#include "lib/widgets/widgetclasses.h"
#include "lib/widgets/wintipofday.h"
#include "lib/widgets/zevsle.h"
#include "platform/gui/resource.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/dates.h"

namespace gallery {
namespace {

using rt::Usual;

template <class T>
std::shared_ptr<T> Place(gui::Window& page, int id, const char* name, QRect at, const std::string& text = {}) {
    auto c = gui::MakeControl<T>(page, id);
    c->SetName(rt::Symbol(name));
    c->Widget()->setGeometry(at);
    if (!text.empty()) c->SetCaption(text);
    return c;
}

void Label(gui::Window& page, int id, QRect at, const std::string& text) {
    auto l = Place<gui::FixedText>(page, id, "LABEL", at, text);
    if (auto* q = qobject_cast<QLabel*>(l->Widget())) q->setWordWrap(true);
}

// A hyperlink that also shows the window's mouse notices on the page.
class HoverText : public lib::FixedTextHyperlink {
    QZ_OBJECT(HoverText)
public:
    void MOUSEENTER() {
        FixedTextHyperlink::MOUSEENTER();
        Mark(true);
    }
    void MOUSEEXIT() {
        FixedTextHyperlink::MOUSEEXIT();
        Mark(false);
    }
    std::shared_ptr<gui::FixedText> status;

private:
    void Mark(bool in) {
        SetTextColor(in ? 12 : 1);
        if (status) status->SetCaption((in ? "MOUSEENTER: " : "MOUSEEXIT: ") + Caption());
    }
};

// The fields of a tips table or server.
Usual TipStructure() {
    auto field = [](const char* name, const char* type, int len) {
        return Usual::Array({Usual(name), Usual(type), Usual(len), Usual(0)});
    };
    return Usual::Array({field("HEADING", "C", 40), field("TIPTEXT", "C", 200), field("SHOWMORE", "L", 1)});
}

Usual Tip(const char* head, const char* text, bool more) {
    return Usual::Array({Usual(head), Usual(text), Usual(more)});
}

}  // namespace

const rt::ClassDef& HoverText::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<HoverText>("GALLERYHOVERTEXT", &lib::FixedTextHyperlink::StaticClass())
            .Method<&HoverText::MOUSEENTER>("MOUSEENTER")
            .Method<&HoverText::MOUSEEXIT>("MOUSEEXIT")
            .Done();
    return c;
}

// ---- the masked edit ----------------------------------------------------------

const rt::ClassDef& MaskedEditPage::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<MaskedEditPage>("GALLERYMASKEDEDITPAGE", &gui::Window::StaticClass()).Done();
    return c;
}

void MaskedEditPage::Build(rt::Args args) {
    gui::Window::Build(args);
    Widget()->setMinimumSize(520, 330);
    Label(*this, 1, {12, 12, 500, 36},
          "ZEV_SLE takes over the keyboard. Number mode (SETLEN 10, 2): digits, \".\", \"-\" and \"+\" for the "
          "sign, a blank clears; the text is regrouped after every key.");
    auto num = Place<lib::ZevSle>(*this, 2, "NUMBER", {12, 52, 200, 24});
    num->SetSleType("N");
    num->SETLEN(10, 2);
    num->SetTextValue("1,234,567.45");
    Label(*this, 3, {12, 92, 500, 52},
          "Date mode (DD.MM.YYYY): digits overwrite the layout; + and - step a day, M and m a month, Y and y a "
          "year, * is today and a blank empties; Delete and Backspace keep the dots.");
    auto date = Place<lib::ZevSle>(*this, 4, "DATE", {12, 148, 120, 24});
    date->SetSleType("D");
    date->SetTextValue(lib::MaskDateText(rt::MakeDate(2024, 12, 25)));
    Label(*this, 5, {12, 188, 500, 20}, "Any other edit type leaves a plain edit:");
    auto plain = Place<lib::ZevSle>(*this, 6, "PLAIN", {12, 212, 200, 24});
    plain->SetSleType("X");
    plain->SetTextValue("typed as it comes");
}

// ---- the tip of the day ---------------------------------------------------------

const rt::ClassDef& TipPage::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<TipPage>("GALLERYTIPPAGE", &gui::Window::StaticClass())
                                       .Method<&TipPage::PBTIPSARRAY>("PBTIPSARRAY")
                                       .Method<&TipPage::PBTIPSTABLE>("PBTIPSTABLE")
                                       .Method<&TipPage::PBTIPSSERVER>("PBTIPSSERVER")
                                       .Done();
    return c;
}

void TipPage::Build(rt::Args args) {
    gui::Window::Build(args);
    Widget()->setMinimumSize(520, 330);
    Label(*this, 1, {12, 12, 500, 52},
          "WinTipOfDay shows one tip at a time and pages forward and back. The page keeps the tip shown last and "
          "the \"Show Tips on startup\" state between runs, as a caller does.");
    Place<gui::PushButton>(*this, 2, "PBTIPSARRAY", {12, 72, 200, 28}, "Tips from an array");
    Place<gui::PushButton>(*this, 3, "PBTIPSTABLE", {12, 108, 200, 28}, "Tips from a DBF table");
    Place<gui::PushButton>(*this, 4, "PBTIPSSERVER", {12, 144, 200, 28}, "Tips from an array server");
    Label(*this, 5, {12, 184, 500, 20}, "");
    auto ini = rt::New<lib::IniFile>();
    ini->INIT(SettingsPath());
    lastTip_ = std::max(0, ini->GETINT("Tips", "LastTip"));
    // Ticked unless the operator has unticked it.
    showOnStartup_ = ini->GETSTRING("Tips", "ShowOnStartup").empty() || ini->GETLOGIC("Tips", "ShowOnStartup");
    ShowState();
}

std::string TipPage::SettingsPath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("qzgallery.ini")).toStdString();
}

void TipPage::ShowState() {
    if (auto* c = ControlById(5))
        c->SetCaption("Last tip " + std::to_string(lastTip_) + ", show on startup " + (showOnStartup_ ? "on" : "off"));
}

void TipPage::ShowTips(const Usual& tips, bool closeServer) {
    auto dlg = rt::New<lib::WinTipOfDay>();
    dlg->Init({Usual(Self())});
    dlg->TIP = tips;
    dlg->LASTTIP = lastTip_;
    dlg->CLOSESERVER = closeServer;
    dlg->SetShowOnStartup(showOnStartup_);
    dlg->Show(3);
    lastTip_ = dlg->LASTTIP;
    showOnStartup_ = dlg->ShowOnStartup();
    auto ini = rt::New<lib::IniFile>();
    ini->INIT(SettingsPath());
    ini->SETINT("Tips", "LastTip", static_cast<int32_t>(lastTip_));
    ini->SETLOGIC("Tips", "ShowOnStartup", showOnStartup_);
    ShowState();
}

void TipPage::PBTIPSARRAY() {
    ShowTips(Usual::Array({Tip("Scanning",
                               "Scan a barcode, type the count and press Enter: the record is stored at once.", false),
                           Tip("Exporting", "Export Data writes a CSV file and archives the scan data file.", true),
                           Tip("Restarting", "Restart Data empties the scan data file after you confirm.", false)}),
             false);
}

void TipPage::PBTIPSTABLE() {
    const std::string path = QDir::temp().filePath(QStringLiteral("qzgallery_tips.dbf")).toStdString();
    if (!rdd::DBCreate(path, TipStructure()).AsLogic()) return;
    auto table = rt::New<rdd::DBServer>(Usual(path));
    const char* rows[][2] = {{"A table of tips", "These tips come from the DBF table qzgallery_tips.dbf."},
                             {"Record numbers", "LASTTIP is a record number when the tips are a table."},
                             {"Who closes it", "With CLOSESERVER the dialog closes the table when it closes."}};
    for (auto& r : rows) {
        table->Append();
        table->FieldPut(Usual("HEADING"), Usual(r[0]));
        table->FieldPut(Usual("TIPTEXT"), Usual(r[1]));
        table->FieldPut(Usual("SHOWMORE"), Usual(false));
    }
    table->Commit();
    ShowTips(Usual(table), true);
}

void TipPage::PBTIPSSERVER() {
    auto server = rt::New<lib::ArrayServer>();
    server->Init(TipStructure(),
                 Usual::Array({Tip("An array server", "Rows of an array serve as records.", true),
                               Tip("Skipping", "Next and Previous skip through the server's records.", false)}));
    ShowTips(Usual(server), true);
}

// ---- the bitmap list box ---------------------------------------------------------

const rt::ClassDef& ListBoxPage::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<ListBoxPage>("GALLERYLISTBOXPAGE", &gui::Window::StaticClass())
                                       .Method<&ListBoxPage::PBADD>("PBADD")
                                       .Method<&ListBoxPage::PBREMOVE>("PBREMOVE")
                                       .Done();
    return c;
}

void ListBoxPage::Build(rt::Args args) {
    gui::Window::Build(args);
    Widget()->setMinimumSize(520, 330);
    Label(*this, 1, {12, 8, 500, 36},
          "Bitmap, icon and bitmap-file pictures; Up, Down and Delete; drag an entry to move it; a double click "
          "reports the node.");
    list = rt::New<lib::BitmapListBox>();
    list->Init(*this, 2);
    list->Widget()->setGeometry(12, 48, 330, 270);
    list->NBITMAPWIDTH = 48;
    list->NBITMAPHEIGHT = 48;
    list->LDRAGDROPON = true;
    auto status = Place<gui::FixedText>(*this, 5, "STATUS", {352, 248, 160, 70});
    if (auto* q = qobject_cast<QLabel*>(status->Widget())) q->setWordWrap(true), q->setAlignment(Qt::AlignTop);
    std::weak_ptr<gui::FixedText> st = status;
    list->BONMOUSEDBLCLK = Usual::Block([st](rt::Args a) {
        if (auto s = st.lock())
            s->SetCaption("Double click: node " + std::to_string(a[0].At(1).AsLong()) + ", value " +
                          a[0].At(3).AsStr());
        return Usual();
    });
    list->BONMOVENODE = Usual::Block([st](rt::Args a) {
        if (auto s = st.lock())
            s->SetCaption("Moved node " + std::to_string(a[0].At(1).AsLong()) + " from " +
                          std::to_string(a[1].AsLong()) + " to " + std::to_string(a[2].AsLong()));
        return Usual();
    });
    // Pictures of each kind: a bitmap handle, an icon handle, a file.
    static auto bulb = rt::New<lib::LightBulb>();
    static auto icon = rt::New<gui::Icon>("__AAAICON");
    QPixmap disk(40, 40);
    disk.fill(Qt::white);
    {
        QPainter p(&disk);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(0x30, 0x70, 0xC0));
        p.drawRoundedRect(4, 4, 32, 32, 4, 4);
        p.setBrush(Qt::white);
        p.drawRect(10, 6, 20, 12);
    }
    picturePath_ = QDir::temp().filePath(QStringLiteral("qzgallery_disk.bmp")).toStdString();
    disk.toImage().convertToFormat(QImage::Format_RGB32).save(QString::fromStdString(picturePath_));
    list->ADDNODE("A bitmap by handle (the light bulb)", Usual("bulb"), static_cast<int64_t>(bulb->Handle()),
                  lib::kPictureBitmap, "", 0);
    list->ADDNODE("An icon by handle", Usual("icon"), static_cast<int64_t>(icon->Handle()), lib::kPictureIcon, "", 0);
    list->ADDNODE("A bitmap file (qzgallery_disk.bmp)", Usual("file"), 0, lib::kPictureFile, picturePath_, 0);
    list->ADDNODE("Inserted at position 1", Usual("inserted"), static_cast<int64_t>(bulb->Handle()),
                  lib::kPictureBitmap, "", 1);
    Place<gui::PushButton>(*this, 3, "PBADD", {352, 48, 160, 28}, "Add a node");
    Place<gui::PushButton>(*this, 4, "PBREMOVE", {352, 82, 160, 28}, "Remove the active node");
    // MULTILINE: texts over several lines (CR LF breaks them), centred.
    multi = rt::New<lib::BitmapListBox>();
    multi->Init(*this, 6);
    multi->Widget()->setGeometry(352, 118, 160, 122);
    multi->MULTILINE = true;
    multi->NBITMAPWIDTH = 40;
    multi->NBITMAPHEIGHT = 40;
    multi->ADDNODE("MULTILINE\r\non two lines", Usual("two"), static_cast<int64_t>(bulb->Handle()), lib::kPictureBitmap,
                   "", 0);
    multi->ADDNODE("One,\r\ntwo,\r\nthree", Usual("three"), 0, lib::kPictureFile, picturePath_, 0);
    multi->ADDNODE("A text too long for one line wraps", Usual("wrap"), static_cast<int64_t>(icon->Handle()),
                   lib::kPictureIcon, "", 0);
}

void ListBoxPage::PBADD() {
    list->ADDNODE("Node added at the end", Usual("added"), 0, lib::kPictureFile, picturePath_, 0);
}

void ListBoxPage::PBREMOVE() { list->REMOVENODE(); }

// ---- the small extensions --------------------------------------------------------

const rt::ClassDef& ExtensionsPage::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<ExtensionsPage>("GALLERYEXTENSIONSPAGE", &gui::Window::StaticClass())
            .Method<&ExtensionsPage::PBLOCK>("PBLOCK")
            .Method<&ExtensionsPage::PBTABSDIALOG>("PBTABSDIALOG")
            .Done();
    return c;
}

void ExtensionsPage::Build(rt::Args args) {
    gui::Window::Build(args);
    Widget()->setMinimumSize(520, 330);
    Label(*this, 1, {12, 8, 500, 20}, "SmartSLE: the first key replaces the text; Enter moves to the next one.");
    for (int i = 0; i < 3; ++i) {
        auto s =
            Place<lib::SmartSLE>(*this, 10 + i, ("SLE" + std::to_string(i + 1)).c_str(), {12 + i * 168, 32, 160, 24});
        s->SetTextValue("Field " + std::to_string(i + 1));
    }
    Label(*this, 2, {12, 68, 500, 20},
          "xTabControl: the tab \"Locked\" takes no clicks and no Alt+L; arrow keys never change tabs.");
    auto tabs = Place<lib::XTabControl>(*this, 3, "TABS", {12, 90, 360, 30});
    for (const char* t : {"&First", "&Locked", "&Third"})
        tabs->APPENDTAB(Usual(rt::Symbol(t + 1)), t, Usual(), Usual());
    tabs->PREVENTSELECTION(1);
    Place<gui::PushButton>(*this, 4, "PBLOCK", {380, 90, 132, 28}, "Unlock the tab");
    Label(*this, 5, {12, 130, 500, 20}, "Mouse notices: move over the two texts.");
    auto status = Place<gui::FixedText>(*this, 8, "STATUS", {220, 154, 292, 44});
    for (int i = 0; i < 2; ++i) {
        auto h = lib::MakeLibControl<HoverText>(*this, 6 + i);
        h->SetName(rt::Symbol(i ? "LINKTWO" : "LINKONE"));
        h->Widget()->setGeometry(12, 154 + i * 24, 190, 22);
        h->SetCaption(i ? "Second hyperlink text" : "First hyperlink text");
        h->LINK = i ? "https://www.qt.io" : "https://www.debian.org";
        h->status = status;
    }
    auto missing = rt::New<lib::BitmapFromDisk>();
    missing->Init(Usual(), "no such picture.bmp");
    Label(*this, 9, {12, 212, 500, 60},
          "BitmapFromDisk(\"no such picture.bmp\"): handle " + std::to_string(missing->Handle()) +
              " (no error).  GETSURFACEHANDLE of this page: " + std::to_string(SurfaceHandle()) +
              ".  ACONTROLS: " + std::to_string(ControlArray().ALen()) + " controls.");
    Place<gui::PushButton>(*this, 15, "PBTABSDIALOG", {12, 280, 200, 28}, "Tabs in a dialog...");
}

void ExtensionsPage::PBTABSDIALOG() {
    auto dlg = rt::New<TabsDialog>();
    dlg->Init({Usual(Self())});
    dlg->Show(3);
}

const rt::ClassDef& TabsDialog::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<TabsDialog>("GALLERYTABSDIALOG", &gui::DialogWindow::StaticClass())
                                       .Method<&TabsDialog::PBCLOSE>("PBCLOSE")
                                       .Done();
    return c;
}

void TabsDialog::Build(rt::Args args) {
    const Usual base[] = {args.empty() ? Usual() : args[0], Usual("GalleryTabs"), Usual(true)};
    gui::DialogWindow::Build(rt::Args(base, 3));
    auto tabs = gui::MakeControl<lib::XTabControl>(*this, 100);
    tabs->SetName(rt::Symbol("TABS"));
    for (const char* t : {"&General", "&Locked", "&Extra"})
        tabs->APPENDTAB(Usual(rt::Symbol(t + 1)), t, Usual(), Usual());
    tabs->PREVENTSELECTION(1);
    gui::MakeControl<gui::PushButton>(*this, 101)->SetName(rt::Symbol("PBCLOSE"));
    if (auto* b = dynamic_cast<gui::PushButton*>(ControlById(101)); b && b->Button()) b->Button()->setDefault(true);
}

bool ExtensionsPage::Dispatch(gui::Event& event) {
    tracker.Track(event);
    return gui::Window::Dispatch(event);
}

void ExtensionsPage::Show(int64_t mode) {
    lib::MouseTracker::EnableMoves(*this);
    gui::Window::Show(mode);
}

void ExtensionsPage::PBLOCK() {
    auto* t = dynamic_cast<lib::XTabControl*>(ControlById(3));
    if (!t) return;
    const bool lock = t->Allowed(1);
    lock ? t->PREVENTSELECTION(1) : t->ALLOWSELECTION(1);
    if (auto* b = ControlById(4)) b->SetCaption(lock ? "Unlock the tab" : "Lock the tab");
}

void RegisterWidgetsPages() {
    lib::RegisterWidgetClasses();
    HoverText::StaticClass();
    MaskedEditPage::StaticClass();
    TipPage::StaticClass();
    ListBoxPage::StaticClass();
    ExtensionsPage::StaticClass();
    TabsDialog::StaticClass();
    gui::DialogTemplate t;
    t.name = "GalleryTabs";
    t.caption = "Locked tabs";
    t.cx = 200;
    t.cy = 64;
    t.items = {{100, "custom", "", 7, 7, 186, 16, gui::kStyleTabStop},
               {101, "button", "&Close", 143, 42, 50, 14, gui::kStyleDefPushButton | gui::kStyleTabStop}};
    gui::RegisterDialog(std::move(t));
}

}  // namespace gallery
