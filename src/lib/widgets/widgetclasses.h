// Makes the list and window extensions creatable by name and registers the
// functions of their modules (DATE_ADDMONTH).
#pragma once

namespace lib {
void RegisterWidgetClasses();
}
