#include "lib/widgets/tabcontrol.h"

#include <QTabBar>
#include <QWheelEvent>

#include "platform/gui/message.h"
#include "platform/gui/messages.h"

namespace lib {
namespace {

// A tab bar the wheel does not page: only a click on an allowed tab
// changes the selection.
class ClickOnlyTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    void wheelEvent(QWheelEvent* e) override { e->ignore(); }
};

}  // namespace

const rt::ClassDef& TabControl::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<TabControl>("TABCONTROL", &gui::Control::StaticClass())
            .Method<&TabControl::APPENDTAB>("APPENDTAB")
            .Access<&TabControl::CurrentIndex>("CURRENTINDEX")
            .RawMethod("DISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           gui::Event* e = gui::EventArg(a);
                           if (!e) return rt::Usual(true);
                           auto& t = static_cast<TabControl&>(o);
                           if (e->uMsg == TCM_HITTEST)
                               return rt::Usual(t.HitTest(reinterpret_cast<TCHITTESTINFO*>(e->lParam)));
                           return rt::Usual(t.Dispatch(*e));
                       })
            .Done();
    return c;
}

QWidget* TabControl::MakeWidget(QWidget* parent) {
    auto* bar = new QTabBar(parent);
    bar->setExpanding(false);
    return bar;
}

QTabBar* TabControl::Bar() const { return qobject_cast<QTabBar*>(Widget()); }

int64_t TabControl::APPENDTAB(const rt::Usual& name, const std::string& caption, const rt::Usual&, const rt::Usual&) {
    if (!Bar()) return -1;
    names_.push_back(name.IsSymbol() ? name.AsSymbol() : rt::Symbol(name.AsStr()));
    return Bar()->addTab(QString::fromStdString(caption));
}

int64_t TabControl::HitTest(TCHITTESTINFO* info) const {
    if (!info || !Bar()) return -1;
    const int at = Bar()->tabAt(QPoint(info->x, info->y));
    info->flags = at < 0 ? 1 : 6;
    return at;
}

int64_t TabControl::CurrentIndex() const { return Bar() ? Bar()->currentIndex() : -1; }

rt::Symbol TabControl::TabName(int64_t index) const {
    return index >= 0 && index < static_cast<int64_t>(names_.size()) ? names_[static_cast<size_t>(index)]
                                                                     : rt::Symbol();
}

const rt::ClassDef& XTabControl::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<XTabControl>("XTABCONTROL", &TabControl::StaticClass())
                                       .Method<&XTabControl::PREVENTSELECTION>("PREVENTSELECTION")
                                       .Method<&XTabControl::ALLOWSELECTION>("ALLOWSELECTION")
                                       .Done();
    return c;
}

QWidget* XTabControl::MakeWidget(QWidget* parent) {
    auto* bar = new ClickOnlyTabBar(parent);
    bar->setExpanding(false);
    return bar;
}

int64_t XTabControl::APPENDTAB(const rt::Usual& name, const std::string& caption, const rt::Usual& page,
                               const rt::Usual& image) {
    allowed_.push_back(true);
    return TabControl::APPENDTAB(name, caption, page, image);
}

bool XTabControl::PREVENTSELECTION(int64_t index) {
    if (index < 0 || index >= static_cast<int64_t>(allowed_.size())) return false;
    allowed_[static_cast<size_t>(index)] = false;
    return true;
}

bool XTabControl::ALLOWSELECTION(int64_t index) {
    if (index < 0 || index >= static_cast<int64_t>(allowed_.size())) return false;
    allowed_[static_cast<size_t>(index)] = true;
    return true;
}

bool XTabControl::Allowed(int64_t index) const {
    return index < 0 || index >= static_cast<int64_t>(allowed_.size()) || allowed_[static_cast<size_t>(index)];
}

bool XTabControl::Dispatch(gui::Event& event) {
    if (event.uMsg == gui::WM_LBUTTONDOWN) {
        TCHITTESTINFO hit;
        hit.x = static_cast<int16_t>(event.lParam & 0xFFFF);
        hit.y = static_cast<int16_t>((event.lParam >> 16) & 0xFFFF);
        const int64_t tab = gui::SendMessageA(Handle(), TCM_HITTEST, 0, reinterpret_cast<int64_t>(&hit));
        if (tab != -1 && !Allowed(tab)) return false;  // swallowed: the selection stays
    }
    if (event.uMsg == gui::WM_KEYDOWN) return false;  // tabs do not change from the keyboard
    return TabControl::Dispatch(event);
}

}  // namespace lib
