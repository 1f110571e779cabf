// The shell window's two menus, their accelerator tables and tool bars.
#include "platform/gui/vkeys.h"
#include "resources/resources.h"

namespace resources {
namespace {

using gui::MenuItemResource;
using K = MenuItemResource::Kind;

MenuItemResource Popup(int id, const char* caption, const char* command, const char* description,
                       const char* help) {
    return {K::kPopupBegin, id, caption, command, description, help};
}
MenuItemResource Item(int id, const char* caption, const char* command, const char* description,
                      const char* help) {
    return {K::kItem, id, caption, command, description, help};
}
MenuItemResource Separator() { return {K::kSeparator, 0, "", "", "", ""}; }
MenuItemResource End() { return {K::kPopupEnd, 0, "", "", "", ""}; }

}  // namespace

const std::vector<gui::ToolBarButtonResource>& EmptySDIToolBar() {
    static const std::vector<gui::ToolBarButtonResource> buttons = {
        {2, 2833, "Scan Items"},
        {0, 0, ""},
        {128, 2836, "Export to CSV"},
        {120, 2837, "About this program"},
        {3, 2838, "Close Program"},
        {121, 2835, "Restart Scan File"},
    };
    return buttons;
}

const std::vector<gui::ToolBarButtonResource>& StandardSDIToolBar() {
    static const std::vector<gui::ToolBarButtonResource> buttons = {
        {2, 32001, "Open File"},
        {0, 0, ""},
        {101, 22347, "Cut"},
        {31, 22348, "Copy"},
        {102, 22349, "Paste"},
        {0, 0, ""},
        {129, 22354, "Go Top"},
        {127, 22355, "Previous Record"},
        {128, 22356, "Next Record"},
        {130, 22357, "Go Bottom"},
        {0, 0, ""},
        {132, 22359, "Form View"},
        {131, 22360, "Browse View"},
        {0, 0, ""},
        {120, 32031, "Help"},
    };
    return buttons;
}

void RegisterMenus() {
    gui::RegisterMenu({"EmptySDIMenu",
                       {
                           Popup(2832, "&Options", "FILE", "", "File"),
                           Item(2833, "&Scan Data\tShift+S", "DATAREADER", "Scan Product Barcodes",
                                "File_Open"),
                           Separator(),
                           Item(2835, "&Restart Data", "DATARESTART", "Restart Scanned Data File", ""),
                           Item(2836, "&Export Data", "CSVEXPORT", "Export Scanned Data to CSV", ""),
                           Item(2837, "&About", "HELPABOUTNEW", "Quorvex Stocktake Utility", ""),
                           Item(2838, "E&xit\tAlt+F4", "FILEEXIT", "Close Program", "File_Exit"),
                           End(),
                       }});

    gui::RegisterMenu(
        {"StandardSDIMenu",
         {
             Popup(22337, "&File", "FILE", "", "File"),
             Item(32001, "&Open...\tCtrl+O", "FILEOPEN", "Open a file", "File_Open"),
             Separator(),
             Item(22340, "&Print", "FILEPRINT", "Print the window", ""),
             Item(22341, "P&rint Setup...", "FILEPRINTERSETUP", "Setup printer options",
                  "File_Printer_Setup"),
             Separator(),
             Item(22343, "&Send...", "MAILDLG", "Send Mail via MS Exchange", ""),
             Separator(),
             Item(22345, "E&xit\tAlt+F4", "FILEEXIT", "End of application", "File_Exit"),
             End(),
             Popup(22346, "&Edit", "EDIT", "Edit information", "Edit"),
             Item(22347, "Cu&t\tCtrl+X", "CUT", "Cut to clipboard", "Cut"),
             Item(22348, "&Copy\tCtrl+C", "COPY", "Copy to clipboard", "Copy"),
             Item(22349, "&Paste\tCtrl+V", "PASTE", "Paste from clipboard", "Paste"),
             Separator(),
             Item(22351, "&Insert Record", "APPEND", "Insert a new record", "Append"),
             Item(22352, "&Delete Record", "DELETE", "Delete this record", "Delete"),
             Separator(),
             Item(22354, "G&o To Top\tCtrl+Home", "GOTOP", "Go to first record", "GoTop"),
             Item(22355, "Pre&vious", "SKIPPREVIOUS", "Go to previous record", "SkipPrevious"),
             Item(22356, "&Next", "SKIPNEXT", "Go to next record", "SkipNext"),
             Item(22357, "Go To &Bottom\tCtrl+End", "GOBOTTOM", "Go to last record", "GoBottom"),
             End(),
             Popup(22358, "&View", "VIEW", "", ""),
             Item(22359, "&Form\tShift+F2", "VIEWFORM", "View a single record as a form", "ViewForm"),
             Item(22360, "&Table\tF2", "VIEWTABLE", "View several records in a table", "ViewTable"),
             End(),
             Popup(22361, "&Help", "HELP", "", ""),
             Item(22362, "&Index\tF1", "HELPINDEX", "Index of help", "Help_Index"),
             Item(22363, "&Context Help\tCtrl+F1", "HELPCONTEXT", "Context sensitive help",
                  "Help_ContextHelp"),
             Item(22364, "&Using Help", "HELPUSINGHELP", "How to use help", "Help_UsingHelp"),
             Separator(),
             Item(32031, "&About...", "HELPABOUT", "About application", ""),
             End(),
         }});

    using namespace gui;
    RegisterAccelerator({"EmptySDIMenu",
                         {
                             {'S', kAccelShift, 2833},
                             {VK_F4, kAccelAlt, 2838},
                         }});
    RegisterAccelerator({"StandardSDIMenu",
                         {
                             {'O', kAccelControl, 32001},
                             {VK_F4, kAccelAlt, 22345},
                             {'X', kAccelControl, 22347},
                             {'C', kAccelControl, 22348},
                             {'V', kAccelControl, 22349},
                             {VK_HOME, kAccelControl, 22354},
                             {VK_END, kAccelControl, 22357},
                             {VK_F2, kAccelShift, 22359},
                             {VK_F2, 0, 22360},
                             {VK_F1, 0, 22362},
                             {VK_F1, kAccelControl, 22363},
                         }});
}

}  // namespace resources
