#include "lib/controls/register.h"

#include "lib/controls/artwork.h"
#include "lib/controls/bitmapbutton.h"
#include "lib/controls/blinking.h"
#include "lib/controls/calendar.h"
#include "lib/controls/hyperlink.h"
#include "lib/controls/iconpushbutton.h"
#include "lib/controls/popupcalc.h"
#include "lib/controls/rightsle.h"

namespace lib {

void RegisterControlClasses() {
    gui::Point::StaticClass();
    RegisterArtworkIcons();
    IconPushButton::StaticClass();
    OkPushButton::StaticClass();
    CancelPushButton::StaticClass();
    NoPushButton::StaticClass();
    HelpPushButton::StaticClass();
    WmBitmapButton::StaticClass();
    SleButton::StaticClass();
    FixedTextHyperlink::StaticClass();
    BlinkingFixedText::StaticClass();
    BlinkingSle::StaticClass();
    RegisterPopupCalcTemplate();
    CalcSingleLineEdit::StaticClass();
    PopupCalcLayout::StaticClass();
    PopupCalc::StaticClass();
    RightSle::StaticClass();
    DateSle::StaticClass();
    RegisterCalendarResources();
    PeCalendar::StaticClass();
    DlgPeCalendar::StaticClass();
    PeDateSleContextMenu::StaticClass();
}

}  // namespace lib
