#include "lib/widgets/tabcontrol.h"

#include <QKeySequence>
#include <QShortcutEvent>
#include <QTabBar>
#include <QWheelEvent>

#include <functional>

#include "platform/gui/message.h"
#include "platform/gui/messages.h"
#include "platform/gui/vkeys.h"

namespace lib {
namespace {

// A tab bar the wheel does not page, whose mnemonics (Alt+L for
// "&Locked") select only tabs that are allowed.
class ClickOnlyTabBar : public QTabBar {
public:
    ClickOnlyTabBar(QWidget* parent, std::function<bool(int)> allowed)
        : QTabBar(parent), allowed_(std::move(allowed)) {}

protected:
    void wheelEvent(QWheelEvent* e) override { e->ignore(); }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Shortcut) {
            const QKeySequence key = static_cast<QShortcutEvent*>(e)->key();
            for (int i = 0; i < count(); ++i)
                if (QKeySequence::mnemonic(tabText(i)) == key && !allowed_(i)) return true;  // refused, as a click
        }
        return QTabBar::event(e);
    }

private:
    std::function<bool(int)> allowed_;
};

// The keys with which a tab bar steps from tab to tab. Every other key goes
// on, so Tab, Shift+Tab, Escape and Enter still leave the bar or reach the
// dialog: a keyboard user is never held in the control.
bool StepsTabs(uint64_t virtualKey) {
    switch (virtualKey) {
        case gui::VK_LEFT:
        case gui::VK_RIGHT:
        case gui::VK_UP:
        case gui::VK_DOWN:
        case gui::VK_HOME:
        case gui::VK_END:
        case gui::VK_PRIOR:
        case gui::VK_NEXT: return true;
        default: return false;
    }
}

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
    auto* bar = new ClickOnlyTabBar(parent, [alive = std::weak_ptr<rt::Object>(Self()), this](int index) {
        return alive.expired() || Allowed(index);
    });
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
    if (event.uMsg == gui::WM_KEYDOWN && StepsTabs(event.wParam)) return false;  // tabs change only by click
    return TabControl::Dispatch(event);
}

}  // namespace lib
