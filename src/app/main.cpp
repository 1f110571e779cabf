// Program entry: the Qt application, the resources, then the application
// object's start-up, which runs until the shell window closes.
#include "app/qzapp.h"
#include "errors/errorgen.h"
#include "platform/grid/grid.h"
#include "platform/gui/app.h"
#include "platform/gui/keydriver.h"
#include "resources/resources.h"

int main(int argc, char** argv) {
    gui::EnsureQtApplication(argc, argv);
    resources::RegisterAll();
    grid::Init();
    gui::InstallKeyDriverFromEnvironment();
    errors::InstallErrorHandling();
    auto app = rt::New<app::QZApp>();
    app->START();
}
