#include "app/shellmenus.h"

#include "resources/resources.h"

namespace app {
namespace {

// Adds each button followed by its tip text; a separator has neither.
void AddButtons(gui::ToolBar& bar, const std::vector<gui::ToolBarButtonResource>& buttons) {
    for (const auto& b : buttons) {
        bar.AppendItem(b.image, b.itemId);
        if (b.itemId != 0) bar.AddTipText(b.image, b.itemId, b.tip);
    }
}

template <class T>
rt::MethodFn InitMethod() {
    return [](rt::Object& o, rt::Args a) {
        static_cast<T&>(o).Init(a.empty() ? rt::Usual() : a[0]);
        return rt::Usual(o.Self());
    };
}

}  // namespace

const rt::ClassDef& EmptySDIMenu::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<EmptySDIMenu>("EMPTYSDIMENU", &gui::Menu::StaticClass())
                                       .RawMethod("INIT", InitMethod<EmptySDIMenu>())
                                       .Done();
    return c;
}

const rt::ClassDef& StandardSDIMenu::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<StandardSDIMenu>("STANDARDSDIMENU", &gui::Menu::StaticClass())
                                       .RawMethod("INIT", InitMethod<StandardSDIMenu>())
                                       .Done();
    return c;
}

const rt::ClassDef& EmptySDIMenu_Accelerator::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<EmptySDIMenu_Accelerator>("EMPTYSDIMENU_ACCELERATOR", &gui::Accelerator::StaticClass()).Done();
    return c;
}

const rt::ClassDef& StandardSDIMenu_Accelerator::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<StandardSDIMenu_Accelerator>("STANDARDSDIMENU_ACCELERATOR", &gui::Accelerator::StaticClass())
            .Done();
    return c;
}

void EmptySDIMenu::Init(const rt::Usual&) {
    Load("EmptySDIMenu");
    auto bar = rt::New<gui::ToolBar>();
    bar->SetButtonStyle(1);
    bar->SetFlat(true);
    bar->EnableBands(false);
    AddButtons(*bar, resources::EmptySDIToolBar());
    SetToolBar(rt::Usual(bar));
    SetAccelerator(rt::Usual(rt::New<EmptySDIMenu_Accelerator>()));
}

void StandardSDIMenu::Init(const rt::Usual&) {
    Load("StandardSDIMenu");
    auto bar = rt::New<gui::ToolBar>();
    bar->SetButtonStyle(1);
    AddButtons(*bar, resources::StandardSDIToolBar());
    bar->SetFlat(true);  // flat after the buttons are in
    SetToolBar(rt::Usual(bar));
    SetAccelerator(rt::Usual(rt::New<StandardSDIMenu_Accelerator>()));
}

}  // namespace app
