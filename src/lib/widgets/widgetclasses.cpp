#include "lib/widgets/widgetclasses.h"

#include "lib/widgets/bitmap.h"
#include "lib/widgets/bitmaplistbox.h"
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
    RegisterTipOfDayTemplate();
    rt::RegisterFunction("DATE_ADDMONTH", [](rt::Args a) {
        return DATE_ADDMONTH(a.size() > 0 ? a[0] : rt::Usual(), a.size() > 1 ? a[1] : rt::Usual());
    });
}

}  // namespace lib
