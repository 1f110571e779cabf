#include "lib/widgets/widgetclasses.h"

#include "lib/widgets/bitmap.h"
#include "lib/widgets/bitmaplistbox.h"
#include "lib/widgets/mousetracking.h"
#include "lib/widgets/smartsle.h"
#include "lib/widgets/tabcontrol.h"
#include "lib/widgets/wintipofday.h"
#include "lib/widgets/zevsle.h"
#include "platform/gui/window.h"
#include "platform/runtime/macrofuncs.h"

namespace lib {

void RegisterWidgetClasses() {
    ZevSle::StaticClass();
    ListBox::StaticClass();
    BitmapListBox::StaticClass();
    Bitmap::StaticClass();
    BitmapFromDisk::StaticClass();
    LightBulb::StaticClass();
    CheckBox::StaticClass();
    WinTipOfDay::StaticClass();
    SmartSLE::StaticClass();
    TabControl::StaticClass();
    XTabControl::StaticClass();
    NewDataDialog::StaticClass();
    NewDataWindow::StaticClass();
    NewDialogWindow::StaticClass();
    RegisterTipOfDayTemplate();
    // The placing arguments of the controls' INIT.
    gui::Point::StaticClass();
    gui::Dimension::StaticClass();
    auto arg = [](rt::Args a, size_t i) { return i < a.size() ? a[i] : rt::Usual(); };
    rt::RegisterFunction("DATE_ADDMONTH", [arg](rt::Args a) { return DATE_ADDMONTH(arg(a, 0), arg(a, 1)); });
    rt::RegisterFunction("TREESEEK", [arg](rt::Args a) {
        return rt::Usual(static_cast<int64_t>(TREESEEK(arg(a, 0), arg(a, 1).AsLong())));
    });
    rt::RegisterFunction("BMLBWNDPROC", [arg](rt::Args a) {
        return rt::Usual(BMLBWNDPROC(static_cast<gui::HWND>(arg(a, 0).AsLong()),
                                     static_cast<uint32_t>(arg(a, 1).AsLong()),
                                     static_cast<uint64_t>(arg(a, 2).AsLong()), arg(a, 3).AsLong()));
    });
}

}  // namespace lib
