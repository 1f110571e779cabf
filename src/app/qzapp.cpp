#include "app/qzapp.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include "about/helpaboutnew.h"
#include "app/shellwindow.h"
#include "appkit/processsettings.h"
#include "appkit/programicon.h"
#include "appkit/settings_list.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/vkeys.h"
#include "platform/gui/window.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/files.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"
#include "scan/datafile.h"
#include "scan/datareader.h"
#include "scan/dirs.h"

namespace app {

const rt::ClassDef& QZApp::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<QZApp>("QZAPP", &gui::App::StaticClass())
                                       .Method<&QZApp::START>("START")
                                       .Method<&QZApp::INITIALIZE>("INITIALIZE")
                                       .Done();
    return c;
}

rt::Usual QZApp::Startup() {
    about::HelpAboutNew::StaticClass();  // "&About" creates it by its class name
    scan::DataReader::StaticClass();     // so does "&Scan Data"
    // 1. Process-wide settings, on top of the regional ones.
    appkit::ApplyProcessSettings();

    // 2. TEMP at the root of the current drive.
    std::string rootTemp = rt::DiskName() + "\\TEMP";
    if (!scan::IsDir(rootTemp)) scan::MakeDir(rootTemp);
    // 3.-4. TEMP and DATA beside the executable.
    rt::DirChange(rt::WorkDir());
    if (!scan::IsDir("TEMP")) scan::MakeDir("TEMP");
    if (!scan::IsDir("DATA")) scan::MakeDir("DATA");

    // 5.-6. The settings list and the default table directory.
    appkit::ResetSettingsList();
    appkit::AddSetting(rt::Usual(rt::WorkDir() + "DATA"));
    rt::SetDefault(appkit::DataDirectory());

    // 7. The scan data file, created when missing.
    std::string dataFile = scan::GetDataFileName();
    if (!rt::File(dataFile)) {
        gui::WarningBox box(rt::Usual(Self()), "DATA FILE ERROR", "Unable to locate " + appkit::DataDirectory());
        box.Show();
    }

    // 8. The title.
    INITIALIZE();

    // 9.-11. The shell window.
    auto shell = rt::New<StandardSDIWindow>();
    shell->Init({rt::Usual(Self())});
    shell->SetCaption(appkit::ApplicationTitle());
    shell->SetIcon(rt::Usual(rt::New<appkit::AAAIcon>()));
    shell->SetIconSm(rt::Usual(rt::New<appkit::AAAIcon>()));
    QSize screen = QApplication::primaryScreen() ? QApplication::primaryScreen()->size() : QSize(600, 400);
    shell->SetSize(rt::Usual(rt::New<gui::Dimension>(std::min(600, screen.width()), std::min(400, screen.height()))));
    shell->Show(3);
    return rt::Usual(shell);
}

void QZApp::START() {
    rt::Usual shell = Startup();
    Exec();
    rt::_Quit();
}

void QZApp::INITIALIZE() { appkit::AddSetting(rt::Usual("Quorvex Stocktake Utility (1.02)")); }

bool QZApp::BeforeDispatch(uintptr_t hWnd, uint32_t message, uint64_t wParam, int64_t) {
    bool result = true;
    if (message != gui::WM_KEYDOWN) return result;
    auto* widget = qobject_cast<QWidget*>(gui::WidgetFromHandle(hWnd));
    QWidget* parent = widget ? widget->parentWidget() : nullptr;
    if (!parent) return result;
    rt::Usual target = gui::ObjectFromHandle(gui::HandleOf(parent));
    if (!target.IsObject()) return result;
    static const rt::Symbol kOwner("OWNER"), kForm("__FORMDIALOGWINDOW"), kKey("ONFUNCTIONKEY");
    if (rt::IsInstanceOf(target, kForm)) target = rt::IVarGet(rt::IVarGet(target, kOwner), kOwner);
    if (rt::IsMethod(target, kKey)) {
        const rt::Usual args[] = {rt::Usual(static_cast<int64_t>(wParam))};
        result = rt::Send(target, kKey, rt::Args(args, 1)).AsLogic();
    }
    return result;
}

}  // namespace app
