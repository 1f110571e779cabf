// Dialog templates. Coordinates are dialog units (x, y, width, height).
#include "resources/resources.h"

namespace resources {

void RegisterDialogs() {
    using namespace gui;
    const uint32_t kEdit = kStyleBorder | kStyleTabStop | kStyleAutoHScroll | kStyleClientEdge;

    DialogTemplate reader;
    reader.name = "DataReader";
    reader.cx = 232;
    reader.cy = 337;
    reader.childForm = true;
    reader.items = {
        {100, "edit", "", 12, 270, 140, 12, kEdit},
        {101, "edit", "", 12, 300, 67, 13, kEdit},
        {102, "button", "End Scanning", 166, 300, 60, 13, kStylePushButton | kStyleTabStop},
        {103, "custom", "", 6, 8, 220, 246, kStyleBorder | kStyleTabStop | kStyleClientEdge},
        {104, "button", "Scan Item", 6, 257, 150, 28, kStyleGroupBox | kStyleGroup},
        {105, "button", "Quantity", 6, 288, 150, 28, kStyleGroupBox | kStyleGroup},
        {106, "static", "Enter Count", 86, 300, 53, 13, kStyleLeft},
        {107, "static", "Double click on data cell to edit, DEL to delete record, ESC to exit.", 12,
         319, 212, 12, kStyleLeft},
    };
    RegisterDialog(reader);

    // The about box of the shell window.
    DialogTemplate about;
    about.name = "HelpAboutNew";
    about.caption = "Business Software by Quorvex";
    about.cx = 362;
    about.cy = 91;
    about.items = {
        {100, "static", "", 131, 6, 227, 41, kStyleLeft | kStyleBorder},
        {101, "button", "OK", 324, 56, 34, 12, kStyleDefPushButton | kStyleTabStop},
        {102, "static", "BADGEBMP", 4, 6, 120, 41, kStyleBitmap | kStyleBorder},
        {103, "static", "Fixed Text", 4, 52, 312, 35, kStyleLeft},
        {104, "button", "&Notes", 324, 72, 34, 12, kStylePushButton | kStyleTabStop},
    };
    RegisterDialog(about);

    // The read-me viewer.
    DialogTemplate readme;
    readme.name = "ShowReadMe";
    readme.cx = 399;
    readme.cy = 208;
    readme.childForm = true;
    readme.items = {
        {100, "richedit", "", 6, 5, 386, 179,
         kStyleMultiLine | kStyleReadOnly | kStyleVScroll | kStyleBorder | kStyleClientEdge},
        {101, "button", "OK", 172, 190, 54, 12, kStylePushButton | kStyleTabStop},
    };
    RegisterDialog(readme);
}

}  // namespace resources
