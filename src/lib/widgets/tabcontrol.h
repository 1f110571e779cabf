// TabControl: a row of tabs (QTabBar) that answers TCM_HITTEST; xTabControl
// adds tabs that can be locked against selection and that no key selects.
#pragma once

#include <vector>

#include "platform/gui/control.h"

class QTabBar;

namespace lib {

inline constexpr uint32_t TCM_HITTEST = 0x130D;
// TCM_HITTEST's record (lParam points at one): the point, in the control's
// coordinates, and the flags (TCHT_ONITEM 6 on a tab, TCHT_NOWHERE 1).
struct TCHITTESTINFO {
    int x = 0, y = 0;
    uint32_t flags = 0;
};

class TabControl : public gui::Control {
    QZ_OBJECT(TabControl)
public:
    TabControl() = default;
    QWidget* MakeWidget(QWidget* parent) override;
    QTabBar* Bar() const;
    // APPENDTAB(name symbol, caption, page, image): the tab's index.
    virtual int64_t APPENDTAB(const rt::Usual& name, const std::string& caption, const rt::Usual& page,
                              const rt::Usual& image);
    int64_t HitTest(TCHITTESTINFO* info) const;
    int64_t CurrentIndex() const;
    rt::Symbol TabName(int64_t index) const;

private:
    std::vector<rt::Symbol> names_;
};

class XTabControl : public TabControl {
    QZ_OBJECT(XTabControl)
public:
    XTabControl() = default;
    // The tab bar takes no wheel either, and its mnemonics select only
    // allowed tabs, so a locked tab stays out of reach.
    QWidget* MakeWidget(QWidget* parent) override;
    int64_t APPENDTAB(const rt::Usual& name, const std::string& caption, const rt::Usual& page,
                      const rt::Usual& image) override;
    // An index past the appended tabs is ignored (false).
    bool PREVENTSELECTION(int64_t index);
    bool ALLOWSELECTION(int64_t index);
    bool Allowed(int64_t index) const;
    bool Dispatch(gui::Event& event) override;

private:
    std::vector<bool> allowed_;
};

}  // namespace lib
