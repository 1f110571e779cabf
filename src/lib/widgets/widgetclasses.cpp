#include "lib/widgets/widgetclasses.h"

#include "lib/widgets/bitmap.h"
#include "lib/widgets/bitmaplistbox.h"
#include "lib/widgets/mousetracking.h"
#include "lib/widgets/smartsle.h"
#include "lib/widgets/tabcontrol.h"
#include "lib/widgets/wintipofday.h"
#include "lib/widgets/zevsle.h"
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
    rt::RegisterFunction("DATE_ADDMONTH", [](rt::Args a) {
        return DATE_ADDMONTH(a.size() > 0 ? a[0] : rt::Usual(), a.size() > 1 ? a[1] : rt::Usual());
    });
}

}  // namespace lib
