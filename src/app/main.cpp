// Program entry: the command line and the Qt application, the resources,
// then the application object's start-up, which runs until the shell window
// closes.
#include <QCommandLineParser>

#include "app/qzapp.h"
#include "errors/errorgen.h"
#include "platform/grid/grid.h"
#include "platform/gui/cmdline.h"
#include "platform/gui/keydriver.h"
#include "resources/resources.h"

int main(int argc, char** argv) {
    resources::RegisterAll();
    QCommandLineParser parser;
    gui::StartQtProgram(argc, argv, parser,
                        {"qzscan", QZ_VERSION,
                         "QZScan, the Quorvex stocktake scanner: barcodes and counts read into the scan\n"
                         "data table DATA/QZSCAN.DBF, shown and edited in a grid, exported as CSV.\n"
                         "The data folder is the program's own folder when it can write there, else\n"
                         "~/.local/share/qzscan ($XDG_DATA_HOME/qzscan); QZ_WORKDIR names another.",
                         "uk.co.quorvex.QZScan", ":/icons/__AAAICON.svg"});
    grid::Init();
    gui::InstallKeyDriverFromEnvironment();
    errors::InstallErrorHandling();
    auto app = rt::New<app::QZApp>();
    app->START();
}
