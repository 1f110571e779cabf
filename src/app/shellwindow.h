// The shell window: the program's main window. It starts with the scanning
// application's menu; opening or dropping a table switches it for good to a
// table browser with the standard menu.
#pragma once

#include "platform/gui/datawindow.h"

namespace app {

class StandardSDIWindow : public gui::DataWindow {
    QZ_OBJECT(StandardSDIWindow)
public:
    StandardSDIWindow() = default;
    void Build(rt::Args args) override;

    // Opens a table for browsing; a name not ending in ".DBF" gives the
    // "File Open Error" box.
    void DOOPENFILE(const std::string& fileName, const rt::Usual& readOnly);
    void Drop(gui::DragEvent& event) override;
    // "&Scan Data" while a scanning screen is open brings that one to the
    // front instead of opening a second on the same table.
    void MenuCommand(rt::Symbol command) override;
    void FILEEXIT();
    void FILEOPEN();
    void FILEPRINTERSETUP();
    void FILECLOSE();
    void FILEPRINT();
    void VIEWTABLE();
    void VIEWFORM();
    // "&Export Data" and "&Restart Data" (src/export).
    void CSVEXPORT();
    void DATARESTART();

    rt::Usual PrintingDevice() const { return printingDevice_; }
    rt::Usual StandardMenu();  // the menu while a table is shown, made at its first use
    bool Browsing() const;

private:
    rt::Usual printingDevice_;
    rt::Usual standardMenu_;
};

}  // namespace app
